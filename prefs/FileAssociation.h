#pragma once
#include <QString>

// The association of "*.cfg" files with the program, all per user, no
// administrator rights. On Linux the freedesktop.org way: a MIME type built from
// "cfgfile" (application/x-cfgfile), a desktop entry that runs the executable
// with the file as its only argument, the program's icon in the hicolor theme,
// and the user's default in mimeapps.list; then the desktops' caches are told
// (update-mime-database, update-desktop-database, when installed). On Windows
// the registry under HKEY_CURRENT_USER\Software\Classes: ".cfg" names the
// program identifier "cfgfile", whose open command quotes the executable's path
// and whose icon is the executable's first; then the shell is told.
namespace FileAssociation {

struct Locations {
#ifdef _WIN32
  QString classes;  // a key under HKEY_CURRENT_USER; Software\Classes
#else
  QString dataHome;    // $XDG_DATA_HOME, default ~/.local/share
  QString configHome;  // $XDG_CONFIG_HOME, default ~/.config
#endif
};
Locations fromEnvironment();
// Where the association of ext is written, for a message.
QString whereWritten(const QString& ext, const Locations& at);

#ifndef _WIN32
QString mimeType(const QString& ext);          // "cfg" -> "application/x-cfgfile"
QString desktopFileName();                     // "tessary.desktop"
QString desktopFilePath(const Locations& at);  // where an entry of that name lies
// The name this program's entry is written under: "tessary.desktop", unless a
// file of that name exists that the program did not write (the user's own).
QString ourDesktopFileName(const Locations& at);
#endif

// Writes the association for ext and the executable exe. Throws TessaryError
// "Failed to create key <path>" or "Failed to set data for '<path>'" at the
// first step that fails; the steps before stay and no cache is told.
void AssociateExtension(const QString& ext, const QString& exe, const Locations& at);

// The executable of the default opener of ext: the user's first choice in
// mimeapps.list, then the first argument of that entry's Exec with the escapes
// of the freedesktop.org desktop entry rules undone; empty when there is none.
QString ReadOpenCommand(const QString& ext, const Locations& at);

// The check: the opener's file name (field codes such as %f removed) equals the
// running executable's file name, letter case included.
bool isAssociatedWith(const QString& exe, const Locations& at);

// An installed copy: the Debian package's own desktop entry (on Windows the
// installer writes the association itself: none here) (beside the
// executable's prefix, else in $XDG_DATA_DIRS), empty when there is none.
QString packageEntry(const QString& exe);
// Whether the package's entry opens ext for this user: it is installed and the
// user has not chosen another opener in mimeapps.list.
bool packageIsOpener(const QString& ext, const QString& exe, const Locations& at);
// Makes the package's entry the user's default opener of ext (mimeapps.list
// only: no second entry, nothing that outlives the package).
void makePackageTheOpener(const QString& ext, const Locations& at);

}  // namespace FileAssociation
