#pragma once
#include <QString>

// Texts of the document window that more than one of its files uses.
namespace MDIChildTexts {
inline const QString kSection = QStringLiteral("[Section]");
inline const QString kSelect = QStringLiteral("[Select]");
inline const QString kPromptItem = QStringLiteral("[ Dropdown & Select Setting/Type Setting In Here ]");
inline const QString kListHint =
    QStringLiteral("Select to View Ship Comparisons/Help. Double Click to Edit.");
inline const QString kComboHint =
    QStringLiteral("Dropdown & Select Setting/Type To Search  For Setting In Here");
}  // namespace MDIChildTexts
