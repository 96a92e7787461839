// The control being edited offers the field editor its completions.
#pragma once

#include <QStringList>
#include <QtGlobal>

class FLCompletionFieldEditor;

// A range of the editor's text in UTF-16 units.
struct FLTextRange {
  qsizetype location = 0;
  qsizetype length = 0;
  bool operator==(const FLTextRange&) const = default;
};

class FLCompletionDelegate {
 public:
  virtual ~FLCompletionDelegate() = default;
  // Completions of the partial range of the editor's text; *indexOfSelectedItem comes in as 0
  // and may name the one to offer first.
  virtual QStringList completions(FLCompletionFieldEditor* editor, FLTextRange partialRange,
                                  int* indexOfSelectedItem) = 0;
};
