#pragma once
#include <QList>
#include <functional>

#include "documents/Recovery.h"

class Prompts;
class QWidget;

// The questions about unsaved edits an ended copy left: for one record "Recover
// unsaved changes to <name>?" (Recover / Discard / Later), naming the file Save
// will write; for several one list first (Recover All / Discard All / Choose...
// / Later), and one question each only when the user chooses so. decide() is
// called for each record answered, with true for Recover; "Later" leaves it.
namespace RecoveryQuestions {
void ask(Prompts& prompts, QWidget* owner, const QList<Recovery::Record>& records,
         const std::function<void(const Recovery::Record& record, bool recover)>& decide);
}  // namespace RecoveryQuestions
