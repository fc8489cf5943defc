#include "app/AboutBox.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "components/CRPanel.h"
#include "components/Labels.h"
#include "components/Pictures.h"

QStringList TAboutBox::creditLines() {
  const QString rule(59, QLatin1Char('-'));
  return {QStringLiteral("I would like to thank these people "),
          QStringLiteral("for testing, breaking and just generally "),
          QStringLiteral("using this crappy program that i made..."),
          QString(),
          QStringLiteral("Kudos to you all !!!!"),
          QString(),
          QString(),
          rule + QStringLiteral("[ Version 2 ]") + rule,
          QString(),
          QString(),
          QStringLiteral("The zone operators who tried it"),
          QStringLiteral("The arena designers"),
          QStringLiteral("The league referees"),
          QStringLiteral("The server administrators"),
          QStringLiteral("The help desk"),
          QStringLiteral("Everyone who reported a fault"),
          QString(),
          rule + QStringLiteral("[ Version 1 ]") + rule,
          QString(),
          QStringLiteral("The first zone to use it"),
          QStringLiteral("Its staff"),
          QStringLiteral("The early arena designers"),
          QStringLiteral("The forum regulars"),
          QStringLiteral("The bug hunters"),
          QStringLiteral("The translators"),
          QStringLiteral("The Tessary project")};
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("TAboutBox"));
  setWindowTitle(QStringLiteral("About"));
  setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  auto* frame = new QFrame(this);
  frame->setFrameShape(QFrame::StyledPanel);
  auto* grid = new QGridLayout(frame);
  auto* icon = new QLabel(frame);
  icon->setPixmap(Pictures::main(Picture::Properties).pixmap(32, 32));
  grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  grid->addWidget(boldLabel(QStringLiteral("Tessary - SubSpace / Continuum"), Qt::black, frame), 0, 1, 1, 3);
  grid->addWidget(boldLabel(QStringLiteral("Config Editor"), Qt::red, frame), 1, 1, 1, 3);
  grid->addWidget(boldLabel(QStringLiteral("Build:"), Qt::black, frame), 2, 0);
  m_build = boldLabel(QString(), Qt::blue, frame, QStringLiteral("BuildNumber"));
  grid->addWidget(m_build, 2, 1);
  grid->addWidget(boldLabel(QStringLiteral("Author: The Tessary project"), QColor(0, 0, 128), frame), 2, 2, 1,
                  2, Qt::AlignRight);
  auto* rule = new QFrame(frame);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  grid->addWidget(rule, 3, 0, 1, 4);
  auto* sunken = new QFrame(frame);
  sunken->setFrameShape(QFrame::Panel);
  sunken->setFrameShadow(QFrame::Sunken);
  auto* sl = new QVBoxLayout(sunken);
  sl->setContentsMargins(1, 1, 1, 1);
  m_credits = new TCRPanel(sunken);
  QFont bold = m_credits->font();
  bold.setBold(true);
  m_credits->setFont(bold);
  // At least its usual 269 pixels, and as wide as the longest line of words in the
  // font at hand, so none loses its ends. The dashed rules around the version
  // headings are meant to run past both edges.
  int widest = 0;
  const QFontMetrics metrics(bold);
  for (const QString& line : creditLines())
    if (!line.contains(QStringLiteral("----"))) widest = std::max(widest, metrics.horizontalAdvance(line));
  m_credits->setFixedSize(std::max(269, widest + 12), 117);
  sl->addWidget(m_credits);
  grid->addWidget(sunken, 4, 0, 1, 4, Qt::AlignHCenter);
  layout->addWidget(frame);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("CloseButton"));
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  layout->addWidget(close);
  // The credits as the box shows them; they run from the start, shown or not.
  m_credits->setStrings(creditLines());
  m_credits->setInterval(35);
  m_credits->UseGradient = true;
  m_credits->setBeginColor(Qt::red);
  m_credits->setEndColor(Qt::yellow);
  m_credits->Background = Qt::black;
  m_credits->setActive(true);
  setFixedSize(std::max(305, sizeHint().width()), std::max(250, sizeHint().height()));
}

bool TAboutBox::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) FormActivate();
  return QDialog::event(e);
}

void TAboutBox::FormActivate() {
  // Read afresh from the file each time: a replaced executable shows its own build.
  m_version.setFileName(QString());
  m_build->setText(m_version.fileVersion());
}

void TAboutBox::showAbout() {
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
  show();
  raise();
  activateWindow();
  FormActivate();
}
