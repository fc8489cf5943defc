#include "tools/BulletCalculator.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "tools/BulletDamage.h"
#include "tools/IntParse.h"

BulletCalculator::BulletCalculator(QWidget* parent) : QGroupBox(QStringLiteral("  Bullets  "), parent) {
  setObjectName(QStringLiteral("BulletsGroup"));
  QFont bold = font();
  bold.setBold(true);
  setFont(bold);
  auto* grid = new QGridLayout(this);
  const char* colours[3] = {"#ff0000", "#808000", "#0000ff"};
  for (int i = 0; i < 3; ++i) {
    auto* caption = new QLabel(QStringLiteral("Level %1:").arg(i + 1), this);
    caption->setStyleSheet(QStringLiteral("color: %1; font-weight: bold;").arg(QLatin1String(colours[i])));
    m_results[i] = new QLabel(QStringLiteral("0"), this);
    m_results[i]->setObjectName(QStringLiteral("Level%1Value").arg(i + 1));
    QFont normal = m_results[i]->font();
    normal.setBold(false);
    m_results[i]->setFont(normal);
    grid->addWidget(caption, i, 0);
    grid->addWidget(m_results[i], i, 1);
  }
  auto addInput = [&](int row, const QString& caption, const QString& name) {
    auto* label = new QLabel(caption, this);
    label->setWordWrap(true);
    QFont normal = label->font();
    normal.setBold(false);
    label->setFont(normal);
    auto* edit = new QLineEdit(QStringLiteral("0"), this);
    edit->setObjectName(name);
    edit->setFont(normal);
    grid->addWidget(label, row, 0, 1, 2);
    grid->addWidget(edit, row + 1, 0, 1, 2);
    return edit;
  };
  m_damage = addInput(3, QStringLiteral("Maximum Bullet Damage Inflicted By Level 1 Bullet"),
                      QStringLiteral("DamageEdit"));
  m_upgrade =
      addInput(5, QStringLiteral("Bullet Damage Upgrade Amount (for Lvl 2+)"), QStringLiteral("UpgradeEdit"));
  auto* calculate = new QPushButton(QStringLiteral("Calculate"), this);
  calculate->setObjectName(QStringLiteral("Button1"));
  grid->addWidget(calculate, 7, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  connect(calculate, &QPushButton::clicked, this, &BulletCalculator::Button1Click);
}

void BulletCalculator::Button1Click() {
  // Both inputs are converted, and the sums checked, before any result changes.
  const std::int32_t p = toInt32(m_damage->text());
  const std::int32_t q = toInt32(m_upgrade->text());
  const auto levels = bulletLevels(p, q);
  for (int i = 0; i < 3; ++i) m_results[i]->setText(QString::number(levels[static_cast<size_t>(i)]));
}

QString BulletCalculator::result(int level) const { return m_results[level - 1]->text(); }
