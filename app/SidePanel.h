#pragma once
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

#include "prefs/AppPaths.h"

class QCheckBox;
class QLabel;
class QTabWidget;
class QTreeWidget;
class ShipBars;
class BulletCalculator;
class MultifireView;
class Prompts;
class TMDIChild;

// The main window's side panel: the "General " page (Ship Comparisons, File
// Details), the Calculators page and the Tools page with the multifire preview
// that follows the active document's current ship.
class SidePanel : public QWidget {
  Q_OBJECT
 public:
  SidePanel(const AppPaths& paths, Prompts& prompts, std::function<TMDIChild*()> activeDocument,
            QWidget* parent);

  // minimumWidth, or more where the fonts need it so no text is cut.
  int openWidth(int minimumWidth) const;
  static QWidget* scrollable(QWidget* page);

  // Ship Comparisons.
  void showComparison(const QStringList& values, const QString& setting);
  void resetComparisonValues();
  // File Details.
  void showFileDetails(const QString& lastModified, const QString& owner);
  void showLastModified(const QString& lastModified);
  // Everything back to its state without documents.
  void reset();

  // The multifire preview.
  void RefreshMultifirePreview(const QString& ship, bool loadPicture);
  void CheckBox1Click();
  void TabSheet6Show();
  void setToCurrentShip();  // "Set To Current Ship"
  void loadStartPicture();  // the Warbird, before any document

 private:
  QWidget* buildGeneralPage();
  QWidget* buildToolsPage();
  QImage loadPicture(const QString& path) const;
  std::optional<std::int32_t> storedAngle(const TMDIChild* child, const QString& ship) const;

  AppPaths m_paths;
  Prompts& m_prompts;
  std::function<TMDIChild*()> m_activeDocument;
  QTabWidget* m_pages = nullptr;
  QTreeWidget* m_comparisons = nullptr;
  ShipBars* m_bars = nullptr;  // the comparison as a bar chart
  QLabel* m_settingValue = nullptr;
  QLabel* m_lastModified = nullptr;
  QLabel* m_owner = nullptr;
  MultifireView* m_multifire = nullptr;
  QCheckBox* CheckBox1 = nullptr;  // "View Current Ship"
  BulletCalculator* m_calculator = nullptr;
};
