#include "app/CommandLine.h"

#include <QCommandLineParser>

const char* CommandLine::usage() {
  return "usage: tessary [CONFIG]\n"
         "       tessary --screenshot FILE [--side-page General|Calculators|Tools]\n"
         "               [--options-page \"File/Folder Paths\"|\"File Options\"|\"Program Updates\"]\n"
         "               [--check-document] [--about] [--check-updates] [CONFIG]\n"
         "       tessary --install-desktop-entry\n"
         "       tessary --restarted\n"
         "       tessary --version | --help\n"
         "\n"
         "  CONFIG             an arena configuration file to open (a running copy opens it)\n"
         "  --screenshot FILE  save a picture of the window once CONFIG is shown, then end\n"
         "  --side-page PAGE   with --screenshot: the side panel's page to show\n"
         "  --options-page P   with --screenshot: a picture of that page of the Options dialog\n"
         "  --check-document   with --screenshot: the validation window after checking CONFIG\n"
         "  --about            with --screenshot: the About box\n"
         "  --check-updates    with --options-page: check for updates first ($TESSARY_UPDATE_URL)\n"
         "  --install-desktop-entry\n"
         "                     make this copy the opener of *.cfg files for this user, then end\n"
         "  --restarted        wait up to 10 s for the running copy to end before starting\n"
         "                     (the program starts itself so after installing an update)\n"
         "  --version          print the build number from the executable's version block\n"
         "  --help             print this text\n";
}

CommandLine CommandLine::parse(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("FILE"));
  const QCommandLineOption sidePage(QStringLiteral("side-page"), QString(), QStringLiteral("PAGE"));
  const QCommandLineOption optionsPage(QStringLiteral("options-page"), QString(), QStringLiteral("PAGE"));
  const QCommandLineOption checkDocument(QStringLiteral("check-document"));
  const QCommandLineOption about(QStringLiteral("about"));
  const QCommandLineOption checkUpdates(QStringLiteral("check-updates"));
  const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
  const QCommandLineOption version(QStringLiteral("version"));
  const QCommandLineOption restarted(QStringLiteral("restarted"));
  const QCommandLineOption installDesktopEntry(QStringLiteral("install-desktop-entry"));
  // Qt's own options (-platform offscreen, -style fusion, ...) are the toolkit's; taken and left alone.
  QCommandLineOption qtWithValue(
      QStringList{QStringLiteral("platform"), QStringLiteral("platformpluginpath"),
                  QStringLiteral("platformtheme"), QStringLiteral("plugin"), QStringLiteral("style"),
                  QStringLiteral("stylesheet"), QStringLiteral("qwindowgeometry"),
                  QStringLiteral("qwindowtitle"), QStringLiteral("qwindowicon"), QStringLiteral("session")},
      QString(), QStringLiteral("VALUE"));
  QCommandLineOption qtAlone(QStringList{QStringLiteral("reverse"), QStringLiteral("widgetcount")});
  qtWithValue.setFlags(QCommandLineOption::HiddenFromHelp);
  qtAlone.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOptions({screenshot, sidePage, optionsPage, checkDocument, about, checkUpdates, help, version,
                     restarted, installDesktopEntry, qtWithValue, qtAlone});
  parser.addPositionalArgument(QStringLiteral("CONFIG"), QString());

  CommandLine line;
  if (!parser.parse(QStringList{QStringLiteral("tessary")} + arguments)) line.error = parser.errorText();
  line.screenshot = parser.value(screenshot);
  line.sidePage = parser.value(sidePage);
  line.optionsPage = parser.value(optionsPage);
  line.checkDocument = parser.isSet(checkDocument);
  line.aboutBox = parser.isSet(about);
  line.checkUpdates = parser.isSet(checkUpdates);
  line.help = parser.isSet(help);
  line.version = parser.isSet(version);
  line.restarted = parser.isSet(restarted);
  line.installDesktopEntry = parser.isSet(installDesktopEntry);
  line.config = parser.positionalArguments().value(0);
  if (line.error.isEmpty() && parser.isSet(screenshot) && line.screenshot.isEmpty())
    line.error = QStringLiteral("--screenshot needs a file name");
  return line;
}
