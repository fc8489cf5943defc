#pragma once
#include <QWidget>

class QButtonGroup;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;
class QHBoxLayout;

// A page set whose tabs wrap onto several rows, so all nine tabs of a document
// window stay visible in its fixed width.
class PageSet : public QWidget {
  Q_OBJECT
 public:
  explicit PageSet(int tabsPerRow, QWidget* parent = nullptr);
  int addPage(QWidget* page, const QIcon& icon, const QString& caption);
  int count() const;
  int currentIndex() const;
  void setCurrentIndex(int index);
  QWidget* widget(int index) const;
  QToolButton* tab(int index) const;
  QString tabText(int index) const;

 Q_SIGNALS:
  void currentChanged(int index);

 private:
  int m_tabsPerRow;
  QVBoxLayout* m_rows;
  QList<QHBoxLayout*> m_rowLayouts;
  QButtonGroup* m_group;
  QStackedWidget* m_stack;
  QList<QToolButton*> m_tabs;
};
