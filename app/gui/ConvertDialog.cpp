#include "app/gui/ConvertDialog.h"

#include "app/gui/QuenloftApplication.h"
#include "ui/kvuShell.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <filesystem>

namespace quenloft {
namespace {

const char* FormatTitle(convert::Format F)
{
  switch (F) {
  case convert::Format::MP4: return "Video (MP4, H.264)";
  case convert::Format::WebM: return "Video (WebM, VP9)";
  case convert::Format::HTML: return "HTML5 page with its video";
  case convert::Format::MP3: return "Sound (MP3)";
  case convert::Format::GIF: return "Animated GIF";
  }
  return "";
}

std::string WithExtension(const std::string& Path, convert::Format F)
{
  return std::filesystem::path(Path).replace_extension(convert::Extension(F)).string();
}

} // namespace

TConvertDialog::TConvertDialog(const std::string& Movie, convert::Format Kind, QWidget* Parent)
    : QDialog(Parent), FMovie(Movie)
{
  setWindowTitle(QStringLiteral("Convert %1").arg(QString::fromStdString(std::filesystem::path(Movie).filename())));
  setAttribute(Qt::WA_DeleteOnClose);
  BrowseForOutput = [this](const std::string& Initial) {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save the conversion as"), QString::fromStdString(Initial))
        .toStdString();
  };
  OpenFolder = [](const std::string& Folder) { return ShellOpen(Folder); };

  cbFormat = new QComboBox(this);
  for (const convert::Format F : Formats)
    cbFormat->addItem(QString::fromLatin1(FormatTitle(F)));
  seWidth = new QSpinBox(this);
  seHeight = new QSpinBox(this);
  for (QSpinBox* S : {seWidth, seHeight}) {
    S->setRange(0, 8192);
    S->setSpecialValueText(QStringLiteral("movie's"));
  }
  cbLength = new QComboBox(this);
  cbLength->addItems({QStringLiteral("One pass of the movie"), QStringLiteral("Frames"), QStringLiteral("Seconds")});
  seLength = new QDoubleSpinBox(this);
  seLength->setRange(1, 24 * 3600);
  seLength->setDecimals(0);
  seLength->setValue(10);
  seLength->setEnabled(false);
  edtOutput = new QLineEdit(this);
  btnBrowse = new QPushButton(QStringLiteral("..."), this);
  pbProgress = new QProgressBar(this);
  pbProgress->setRange(0, 100);
  pbProgress->setValue(0);
  lblStatus = new QLabel(this);
  lblStatus->setWordWrap(true);
  btnConvert = new QPushButton(QStringLiteral("Convert"), this);
  btnCancel = new QPushButton(QStringLiteral("Close"), this);
  btnShow = new QPushButton(QStringLiteral("Show in folder"), this);
  btnShow->hide();
  btnConvert->setDefault(true);

  auto* size = new QHBoxLayout;
  size->addWidget(seWidth);
  size->addWidget(new QLabel(QStringLiteral("x"), this));
  size->addWidget(seHeight);
  auto* length = new QHBoxLayout;
  length->addWidget(cbLength);
  length->addWidget(seLength);
  auto* output = new QHBoxLayout;
  output->addWidget(edtOutput);
  output->addWidget(btnBrowse);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Format:"), cbFormat);
  form->addRow(QStringLiteral("Size:"), size);
  form->addRow(QStringLiteral("Length:"), length);
  form->addRow(QStringLiteral("Save as:"), output);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnShow);
  buttons->addStretch();
  buttons->addWidget(btnConvert);
  buttons->addWidget(btnCancel);
  auto* all = new QVBoxLayout(this);
  all->addLayout(form);
  all->addWidget(pbProgress);
  all->addWidget(lblStatus);
  all->addLayout(buttons);

  const auto at = std::find(std::begin(Formats), std::end(Formats), Kind) - std::begin(Formats);
  cbFormat->setCurrentIndex(static_cast<int>(at));
  edtOutput->setText(QString::fromStdString(WithExtension(Movie, Kind)));
  connect(cbFormat, &QComboBox::currentIndexChanged, this, [this] { FormatChanged(); });
  connect(cbLength, &QComboBox::currentIndexChanged, this, [this](int I) { seLength->setEnabled(I > 0); });
  connect(btnBrowse, &QPushButton::clicked, this, [this] {
    RunHandler([this] {
      const std::string chosen = BrowseForOutput(edtOutput->text().toStdString());
      if (!chosen.empty())
        edtOutput->setText(QString::fromStdString(chosen));
    });
  });
  connect(btnConvert, &QPushButton::clicked, this, [this] { RunHandler([this] { StartConversion(); }); });
  connect(btnCancel, &QPushButton::clicked, this, [this] {
    if (Running())
      Cancel();
    else
      close();
  });
  connect(btnShow, &QPushButton::clicked, this, [this] {
    RunHandler([this] {
      if (!FWritten.empty())
        (void)OpenFolder(std::filesystem::path(FWritten.front()).parent_path().string());
    });
  });
}

TConvertDialog::~TConvertDialog()
{
  FCancel = true;
  JoinWorker();
}

convert::Format TConvertDialog::Chosen() const
{
  return Formats[std::clamp(cbFormat->currentIndex(), 0, static_cast<int>(std::size(Formats)) - 1)];
}

void TConvertDialog::FormatChanged()
{
  edtOutput->setText(QString::fromStdString(WithExtension(edtOutput->text().toStdString(), Chosen())));
}

void TConvertDialog::JoinWorker()
{
  if (FWorker.joinable())
    FWorker.join();
}

void TConvertDialog::StartConversion()
{
  if (Running())
    return;
  JoinWorker(); // the previous one has ended
  convert::TConvertOptions options;
  options.Input = FMovie;
  options.Output = WithExtension(edtOutput->text().toStdString(), Chosen());
  edtOutput->setText(QString::fromStdString(options.Output));
  if (seWidth->value() > 0 || seHeight->value() > 0) {
    options.Width = seWidth->value();
    options.Height = seHeight->value();
  }
  if (cbLength->currentIndex() == 1)
    options.Frames = static_cast<std::uint64_t>(seLength->value());
  else if (cbLength->currentIndex() == 2)
    options.Seconds = seLength->value();

  FCancel = false;
  FFinished = false;
  FWritten.clear();
  pbProgress->setValue(0);
  pbProgress->setRange(0, options.Frames || options.Seconds ? 100 : 0); // busy until the length is known
  lblStatus->setText(QStringLiteral("Converting..."));
  btnShow->hide();
  btnConvert->setEnabled(false);
  btnCancel->setText(QStringLiteral("Cancel"));
  FWorker = std::thread([this, options] {
    std::vector<std::string> files;
    std::string error;
    bool cancelled = false;
    try {
      convert::TConverter converter(options);
      files = converter
                  .Run(FCancel,
                       [this](const convert::TProgress& P) {
                         QMetaObject::invokeMethod(this, [this, P] { Progress(P); }, Qt::QueuedConnection);
                       })
                  .Files;
    } catch (const convert::EConvertCancelled&) {
      cancelled = true;
    } catch (const std::exception& e) {
      error = e.what();
    }
    QMetaObject::invokeMethod(
        this, [this, files, error, cancelled] { Ended(files, error, cancelled); }, Qt::QueuedConnection);
  });
}

void TConvertDialog::Progress(const convert::TProgress& P)
{
  if (FFinished)
    return;
  if (P.Total && *P.Total > 0) {
    pbProgress->setRange(0, 100);
    pbProgress->setValue(static_cast<int>(P.Frames * 100 / *P.Total));
  }
  lblStatus->setText(QStringLiteral("%1 frames made").arg(P.Frames));
}

void TConvertDialog::Ended(const std::vector<std::string>& Files, const std::string& Error, bool Cancelled)
{
  FFinished = true;
  JoinWorker();
  FWritten = Files;
  pbProgress->setRange(0, 100);
  pbProgress->setValue(Files.empty() ? 0 : 100);
  btnConvert->setEnabled(true);
  btnCancel->setText(QStringLiteral("Close"));
  if (Cancelled)
    lblStatus->setText(QStringLiteral("Cancelled; nothing was written."));
  else if (!Error.empty())
    lblStatus->setText(QStringLiteral("Not converted: %1").arg(QString::fromStdString(Error)));
  else
    lblStatus->setText(QStringLiteral("Written: %1").arg(QString::fromStdString(Files.front())));
  btnShow->setVisible(!Files.empty());
  if (OnEnded)
    OnEnded();
}

void TConvertDialog::Cancel()
{
  FCancel = true;
  lblStatus->setText(QStringLiteral("Cancelling..."));
}

void TConvertDialog::closeEvent(QCloseEvent* Event)
{
  FCancel = true;
  QDialog::closeEvent(Event);
}

void TConvertDialog::reject()
{
  FCancel = true;
  QDialog::reject();
}

} // namespace quenloft
