#pragma once
#include <QString>

class TMDIChild;

// What a document window asks of the window that holds it: the side panel,
// the help strip and the exception log live there. The main window implements
// it; tests may give a document window a host of their own.
class DocumentHost {
 public:
  virtual ~DocumentHost() = default;
  virtual void enableWindowButtons() = 0;
  virtual void ShowSettingHelp(const QString& section, const QString& name) = 0;
  virtual void RefreshShipComparison() = 0;
  virtual void resetComparisonValues() = 0;
  virtual void showFileDetails(const QString& lastModified, const QString& owner) = 0;
  virtual void showLastModified(const QString& lastModified) = 0;
  virtual void RefreshMultifirePreview(const QString& ship, bool loadPicture) = 0;
  // The file last chosen in the open dialog, for a window that has no path yet.
  virtual QString openDialogFileName() const = 0;
  // Logs and shows the exception being handled (call inside a catch block).
  virtual void reportException() = 0;
  // A line of text in the main window's status bar.
  virtual void showStatus(const QString& text) = 0;
  // Shows what differs between a document and a file (its own file, changed on disk).
  virtual void compareWithFile(TMDIChild* document, const QString& file) {
    (void)document;
    (void)file;
  }
};
