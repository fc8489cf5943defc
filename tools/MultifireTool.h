#pragma once
#include <QDialog>

class MultifireView;

// The floating "Multifire Tool" window: the same preview, slider and box as the
// Tools page, with its own built-in pictures and no file access.
class TForm2 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);
  MultifireView* view() const { return m_view; }

 private:
  MultifireView* m_view;
};

// The four help lines shown beside both previews.
QString multifireHelpText();
