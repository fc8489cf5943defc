#pragma once
#include <QString>
#include <QStringList>

// The program's command line, read with QCommandLineParser.
struct CommandLine {
  QString config;                    // the arena to open (the first file named), empty for none
  QString screenshot;                // --screenshot FILE: a picture, then the end
  QString sidePage;                  // --side-page PAGE
  QString optionsPage;               // --options-page PAGE
  bool checkDocument = false;        // --check-document
  bool aboutBox = false;             // --about
  bool checkUpdates = false;         // --check-updates
  bool installDesktopEntry = false;  // --install-desktop-entry: open *.cfg files with this copy, then end
  bool restarted = false;            // --restarted: started by a copy that installed an update and is ending
  bool help = false;                 // --help, -h
  bool version = false;              // --version
  QString error;                     // what is wrong with the command line; empty when nothing is

  // arguments: without the program's own name; file names keep their bytes (see AtomicFile::decodePath).
  static CommandLine parse(const QStringList& arguments);
  static const char* usage();
};
