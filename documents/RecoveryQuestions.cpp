#include "documents/RecoveryQuestions.h"

#include <QStringList>

#include "components/Prompts.h"

namespace {
// Where Save will write a recovered document, for the question.
QString recoveredTarget(const Recovery::Record& record) {
  return record.source.isEmpty()
             ? QStringLiteral("%1 was never saved: Save will ask where to write it.").arg(record.caption)
             : QStringLiteral("Save will write it to %1.").arg(record.source);
}

// Recover All, Discard All, Choose... (true) or Later (false, nothing decided).
bool askAll(Prompts& prompts, QWidget* owner, const QList<Recovery::Record>& records,
            const std::function<void(const Recovery::Record&, bool)>& decide) {
  QStringList lines;
  constexpr qsizetype kShown = 12;
  for (qsizetype i = 0; i < records.size() && i < kShown; ++i)
    lines.append(QStringLiteral("  %1  (%2)")
                     .arg(records[i].caption,
                          records[i].source.isEmpty() ? QStringLiteral("never saved") : records[i].source));
  if (records.size() > kShown) lines.append(QStringLiteral("  ... and %1 more").arg(records.size() - kShown));
  const QMessageBox::StandardButton answer =
      prompts.choose(owner, QMessageBox::Question, applicationTitle(),
                     QStringLiteral("Recover unsaved changes to %1 documents?\n\n%2")
                         .arg(records.size())
                         .arg(lines.join(QLatin1Char('\n'))),
                     {{QMessageBox::YesToAll, QStringLiteral("Recover &All")},
                      {QMessageBox::NoToAll, QStringLiteral("&Discard All")},
                      {QMessageBox::Open, QStringLiteral("&Choose...")},
                      {QMessageBox::Ignore, QStringLiteral("&Later")}});
  if (answer == QMessageBox::YesToAll || answer == QMessageBox::NoToAll) {
    for (const Recovery::Record& record : records) decide(record, answer == QMessageBox::YesToAll);
    return false;
  }
  return answer == QMessageBox::Open;
}
}  // namespace

namespace RecoveryQuestions {

void ask(Prompts& prompts, QWidget* owner, const QList<Recovery::Record>& records,
         const std::function<void(const Recovery::Record&, bool)>& decide) {
  if (records.isEmpty()) return;
  if (records.size() > 1 && !askAll(prompts, owner, records, decide)) return;
  for (const Recovery::Record& record : records) {
    const QMessageBox::StandardButton answer = prompts.choose(
        owner, QMessageBox::Question, applicationTitle(),
        QStringLiteral("Recover unsaved changes to %1?\n\n%2").arg(record.caption, recoveredTarget(record)),
        {{QMessageBox::Yes, QStringLiteral("&Recover")},
         {QMessageBox::Discard, QStringLiteral("&Discard")},
         {QMessageBox::Ignore, QStringLiteral("&Later")}});
    if (answer == QMessageBox::Yes || answer == QMessageBox::Discard)
      decide(record, answer == QMessageBox::Yes);
  }
}

}  // namespace RecoveryQuestions
