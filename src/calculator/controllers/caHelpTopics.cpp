#include "calculator/controllers/caHelpTopics.h"

#include "calculator/model/caModelServices.h"
#include "calculator/model/formula/caFunctionTable.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>

void GiveHelp(int64_t topic, int64_t bookmark) {
  if (!ShowHelp(topic, bookmark)) WorkspaceBeep();
}

QPushButton* AddHelpButton(QDialogButtonBox* buttons, int64_t topic) {
  QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
  help->setObjectName(QStringLiteral("help"));
  help->setAutoDefault(false);
  QObject::connect(help, &QPushButton::clicked, buttons, [topic] { GiveHelp(topic); });
  return help;
}

std::optional<CAFunctionHelpPlace> FunctionHelpPlace(int32_t functionRow) {
  // Class 0 is the recent list, which the help does not describe.
  for (int32_t functionClass = 1; functionClass < kFunctionClassCount; ++functionClass) {
    const CAFunctionClass& members = g_functionClasses[functionClass];
    for (int32_t i = 0; i < members.count; ++i) {
      if (members.members[i] == functionRow) return CAFunctionHelpPlace{kFunctionClassHelpTopicBase + functionClass, i};
    }
  }
  return std::nullopt;
}

bool GiveFunctionHelp(int32_t functionRow) {
  const std::optional<CAFunctionHelpPlace> place = FunctionHelpPlace(functionRow);
  if (!place) {
    WorkspaceBeep();
    return false;
  }
  GiveHelp(place->topic, place->bookmark);
  return true;
}
