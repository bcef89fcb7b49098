// TSettingsDialog: the window's download settings, opened by the
// "Settings" link: the HTTP proxy (empty: the environment's http_proxy,
// https_proxy and no_proxy), how many times a movie that failed for a
// passing reason is tried again, and whether a partial file an earlier cut
// left is finished rather than started anew (off by default). OK checks
// the proxy address and saves all three in the settings store; the next
// download uses them. Cancel keeps what was saved.
//
// Threads: UI thread only.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace quenloft {

// The three download settings as the dialog shows them.
struct TDownloadSettings {
  std::string Proxy; // "" : the environment's proxies
  int Retries = 0;
  bool Resume = false;
};

// What the settings store holds now (App's values), and saving them there.
TDownloadSettings SavedDownloadSettings();
void SaveDownloadSettings(const TDownloadSettings& Settings);

class TSettingsDialog : public QDialog {
  Q_OBJECT

public:
  explicit TSettingsDialog(QWidget* Parent = nullptr);

  QLineEdit* edtProxy;
  QSpinBox* seRetries;
  QCheckBox* cbResume;
  QLabel* lblError; // why OK did not close the dialog
  QPushButton* btnOK;
  QPushButton* btnCancel;

  // OK: a proxy address that cannot be used keeps the dialog open with the
  // reason (never its password); otherwise the settings are saved.
  void accept() override;
};

} // namespace quenloft
