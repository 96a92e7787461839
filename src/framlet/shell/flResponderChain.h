// Actions that go to whoever answers them first on the way up from a widget through its
// parents, as key commands such as cancelling, clearing a field or paging do. A widget answers
// an action by declaring a slot or Q_INVOKABLE method of that name taking the sender:
//   Q_INVOKABLE void cancelOperation(QObject* sender);
#pragma once

class QObject;

inline constexpr const char* kCancelOperationAction = "cancelOperation";
inline constexpr const char* kClearFieldAction = "clearField";
inline constexpr const char* kScrollPageUpAction = "scrollPageUp";
inline constexpr const char* kScrollPageDownAction = "scrollPageDown";

// Whether the object itself answers the action.
bool RespondsToAction(const QObject* object, const char* action);
// Performs the action on the first object from the responder upwards that answers it; false
// when none does.
bool TryToPerform(QObject* responder, const char* action, QObject* sender);
