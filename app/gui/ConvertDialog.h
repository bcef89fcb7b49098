// TConvertDialog: the small window the four "Convert SWF to ..." entries
// open for one movie: the format (preselected by the entry used), the
// picture size, the length, the output file (beside the movie by default),
// then a progress bar with Cancel and, at the end, "Show in folder".
//
// The conversion runs on a worker thread of the dialog's own, so neither
// the window nor the download chain waits for it; closing the dialog
// cancels it, and nothing half-made stays behind.
//
// Threads: every member runs on the UI thread. The worker runs the
// converter and reaches the dialog only by queued calls; the destructor
// cancels and joins it.
#pragma once

#include "convert/Converter.h"

#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace quenloft {

class TConvertDialog : public QDialog {
  Q_OBJECT

public:
  TConvertDialog(const std::string& Movie, convert::Format Kind, QWidget* Parent = nullptr);
  ~TConvertDialog() override;

  // The format box's entries, in order.
  static constexpr convert::Format Formats[] = {convert::Format::MP4, convert::Format::WebM, convert::Format::HTML,
                                                convert::Format::MP3, convert::Format::GIF};

  QComboBox* cbFormat;
  QSpinBox* seWidth;  // 0: the movie's own size
  QSpinBox* seHeight;
  QComboBox* cbLength; // one pass, frames, seconds
  QDoubleSpinBox* seLength;
  QLineEdit* edtOutput;
  QPushButton* btnBrowse;
  QPushButton* btnConvert;
  QPushButton* btnCancel; // cancels a running conversion, else closes
  QPushButton* btnShow;   // "Show in folder", once a file is written
  QProgressBar* pbProgress;
  QLabel* lblStatus;

  // Starts a conversion with the settings shown (Convert pressed).
  void StartConversion();
  bool Running() const { return FWorker.joinable() && !FFinished; }
  // The files the last conversion wrote, the main one first.
  const std::vector<std::string>& Written() const { return FWritten; }

  // The environment, replaceable by tests: the save-file picker (initial
  // name -> chosen name or ""), the folder opener, and a call after each
  // conversion has ended (written, failed or cancelled).
  std::function<std::string(const std::string& Initial)> BrowseForOutput;
  std::function<bool(const std::string& Folder)> OpenFolder;
  std::function<void()> OnEnded;

protected:
  void closeEvent(QCloseEvent* Event) override;
  void reject() override;

private:
  convert::Format Chosen() const;
  void FormatChanged();
  void Progress(const convert::TProgress& P);
  void Ended(const std::vector<std::string>& Files, const std::string& Error, bool Cancelled);
  void Cancel();
  void JoinWorker();

  std::string FMovie;
  std::thread FWorker;
  std::atomic<bool> FCancel{false};
  bool FFinished = true;
  std::vector<std::string> FWritten;
};

} // namespace quenloft
