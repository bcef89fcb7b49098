#include "app/gui/SettingsDialog.h"

#include "app/App.h"
#include "http/IdProxy.h"
#include "http/RetryPolicy.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace quenloft {

TDownloadSettings SavedDownloadSettings()
{
  if (!App)
    return {{}, DefaultRetries, false};
  return {App->GetProxy(), App->GetRetries(), App->GetResume()};
}

void SaveDownloadSettings(const TDownloadSettings& Settings)
{
  if (!App)
    return;
  App->SetProxy(Settings.Proxy);
  App->SetRetries(Settings.Retries);
  App->SetResume(Settings.Resume);
}

TSettingsDialog::TSettingsDialog(QWidget* Parent) : QDialog(Parent)
{
  setObjectName(QStringLiteral("SettingsDialog"));
  setWindowTitle(QStringLiteral("Download settings"));
  setAttribute(Qt::WA_DeleteOnClose);

  edtProxy = new QLineEdit(this);
  edtProxy->setPlaceholderText(QStringLiteral("from the environment (http_proxy, https_proxy)"));
  edtProxy->setToolTip(QStringLiteral("[http://][user:password@]host[:port]; empty: the environment's proxies"));
  edtProxy->setMinimumWidth(320);
  seRetries = new QSpinBox(this);
  seRetries->setRange(0, 10);
  seRetries->setToolTip(
      QStringLiteral("Tries after the first for a movie that fails for a passing reason (0: none)"));
  cbResume = new QCheckBox(QStringLiteral("Continue partial downloads"), this);
  cbResume->setToolTip(
      QStringLiteral("Finish a movie an earlier cut left unfinished instead of saving a new copy"));
  lblError = new QLabel(this);
  lblError->setStyleSheet(QStringLiteral("color: #b00000;"));
  lblError->setWordWrap(true);
  lblError->hide();

  auto* Form = new QFormLayout;
  Form->addRow(QStringLiteral("HTTP proxy:"), edtProxy);
  Form->addRow(QStringLiteral("Retries:"), seRetries);
  Form->addRow(QString(), cbResume);
  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  connect(btnOK, &QPushButton::clicked, this, &TSettingsDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &TSettingsDialog::reject);
  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch();
  Buttons->addWidget(btnOK);
  Buttons->addWidget(btnCancel);
  auto* Layout = new QVBoxLayout(this);
  Layout->addLayout(Form);
  Layout->addWidget(lblError);
  Layout->addLayout(Buttons);

  const TDownloadSettings Saved = SavedDownloadSettings();
  edtProxy->setText(QString::fromStdString(Saved.Proxy));
  seRetries->setValue(Saved.Retries);
  cbResume->setChecked(Saved.Resume);
}

void TSettingsDialog::accept()
{
  const std::string Proxy = edtProxy->text().trimmed().toStdString();
  if (!Proxy.empty()) {
    try {
      (void)ParseProxyURL(Proxy);
    } catch (const EIdProxyError& Error) {
      lblError->setText(QStringLiteral("HTTP proxy: %1").arg(QString::fromStdString(Error.what())));
      lblError->show();
      edtProxy->setFocus();
      return;
    }
  }
  SaveDownloadSettings({Proxy, seRetries->value(), cbResume->isChecked()});
  QDialog::accept();
}

} // namespace quenloft
