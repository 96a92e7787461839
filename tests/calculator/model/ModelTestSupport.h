// Fakes for the model's upward calls: a window that records what the document asks of it,
// preferences set per test, and workspace hooks that count instead of opening anything.
#pragma once

#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/caModelServices.h"

#include <QStringList>
#include <QUrl>

#include <ostream>
#include <vector>

// Readable failure messages for texts.
static inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

class FakeWindow : public CADocumentWindow {
 public:
  void redrawCell(const GridPoint& point) override { cells.push_back(point); }
  void redrawRange(const GridRange& range) override { ranges.push_back(range); }
  void redrawSelectionForDomain(int32_t domain) override { domains.push_back(domain); }
  void removeTooltipForCell(const CACell&) override { ++tooltipsRemoved; }
  void focusCellView() override { ++focuses; }

  int focuses = 0;
  std::vector<GridPoint> cells;
  std::vector<GridRange> ranges;
  std::vector<int32_t> domains;
  int tooltipsRemoved = 0;
};

// Installs preferences and hooks for one test and restores the defaults afterwards.
class ModelEnvironment {
 public:
  explicit ModelEnvironment(CAModelPreferences preferences = CAModelPreferences()) {
    set(preferences);
    CAModelHooks hooks;
    hooks.openUrl = [this](const QUrl& url) {
      opened.append(url.toString());
      return true;
    };
    hooks.revealFile = [this](const QString& path) {
      revealed.append(path);
      return true;
    };
    hooks.beep = [this] { ++beeps; };
    hooks.setColorPanelKolor = [this](Kolor kolor) { panelKolors.push_back(kolor); };
    hooks.now = [this] { return now; };
    SetModelHooks(hooks);
  }
  ~ModelEnvironment() {
    SetModelPreferencesProvider(nullptr);
    SetModelHooks(CAModelHooks());
  }
  ModelEnvironment(const ModelEnvironment&) = delete;
  ModelEnvironment& operator=(const ModelEnvironment&) = delete;

  void set(const CAModelPreferences& preferences) {
    SetModelPreferencesProvider([preferences] { return preferences; });
  }

  // The model's clock, in seconds; tests move it.
  double now = 1000.0;
  QStringList opened;
  QStringList revealed;
  int beeps = 0;
  std::vector<Kolor> panelKolors;
};
