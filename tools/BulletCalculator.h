#pragma once
#include <QGroupBox>

class QLabel;
class QLineEdit;

// The "  Bullets  " calculator of the Calculators page.
class BulletCalculator : public QGroupBox {
  Q_OBJECT
 public:
  explicit BulletCalculator(QWidget* parent = nullptr);
  void Button1Click();
  QLineEdit* damageEdit() const { return m_damage; }
  QLineEdit* upgradeEdit() const { return m_upgrade; }
  QString result(int level) const;  // 1..3

 private:
  QLineEdit* m_damage;
  QLineEdit* m_upgrade;
  QLabel* m_results[3];
};
