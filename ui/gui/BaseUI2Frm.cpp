#include "ui/gui/BaseUI2Frm.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QMouseEvent>
#include <QWindow>

#include <cmath>

// Resources of a static library must be registered by name, outside any
// namespace.
static void InitSkinResources()
{
  Q_INIT_RESOURCE(skin);
}

namespace quenloft {

QImage SkinImage(const char* Name)
{
  static const bool Registered = (InitSkinResources(), true);
  (void)Registered;
  return QImage(QStringLiteral(":/skin/%1.png").arg(QLatin1String(Name)));
}

QRegion RoundRectRegion(int W, int H, int Diameter)
{
  const double R = Diameter / 2.0;
  QRegion Region;
  if (W <= 0 || H <= 0)
    return Region;
  const int Rows = static_cast<int>(std::ceil(R));
  for (int Y = 0; Y < H; ++Y) {
    // Distance of the row's centre from the corner arcs' centre line.
    const double Yc = Y + 0.5;
    double Dy = 0;
    if (Y < Rows)
      Dy = R - Yc;
    else if (Y >= H - Rows)
      Dy = Yc - (H - R);
    int Inset = 0;
    if (Dy > 0) {
      const double Dx = std::sqrt(std::max(0.0, R * R - Dy * Dy));
      Inset = static_cast<int>(std::ceil(R - Dx - 0.5));
    }
    if (W - 2 * Inset > 0)
      Region += QRect(Inset, Y, W - 2 * Inset, 1);
  }
  return Region;
}

void SetRoundRegion(QWidget& Window, int Diameter)
{
  Window.setMask(RoundRectRegion(Window.width(), Window.height(), Diameter));
  Window.update();
}

TBaseUI2Form::TBaseUI2Form(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::FramelessWindowHint), FAnchors(QSize(471, 409))
{
  resize(471, 409);
  QPalette Pal = palette();
  Pal.setColor(QPalette::Window, QColor(191, 197, 201));
  Pal.setColor(QPalette::WindowText, Qt::black);
  setPalette(Pal);
  setAutoFillBackground(true);
  // A small sans serif; narrow faces first, since the designed controls
  // were sized for a narrow 8-point face.
  QFont Font;
  Font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Helvetica"),
                    QStringLiteral("DejaVu Sans")});
  Font.setStretch(QFont::SemiCondensed);
  Font.setPixelSize(11);
  setFont(Font);

  auto MakeImage = [this](const char* Name, QRect Bounds, bool Stretch, unsigned Anchors) {
    auto* Image = new TkvuImage(this);
    Image->setObjectName(QLatin1String(Name));
    Image->setGeometry(Bounds);
    Image->SetStretch(Stretch);
    Anchor(Image, Anchors);
    return Image;
  };
  imgTop = MakeImage("imgTop", {0, 0, 471, 28}, true, akLeft | akTop | akRight);
  imgTop->SetPicture(SkinImage("top"), false);
  imgLeft = MakeImage("imgLeft", {0, 0, 5, 409}, true, akLeft | akTop | akBottom);
  imgLeft->SetPicture(SkinImage("left"), false);
  imgRight = MakeImage("imgRight", {466, 0, 5, 409}, true, akTop | akRight | akBottom);
  imgRight->SetPicture(SkinImage("right"), false);
  imgBottom = MakeImage("imgBottom", {0, 404, 471, 5}, true, akLeft | akRight | akBottom);
  imgBottom->SetPicture(SkinImage("bottom"), false);
  imgTopLeft = MakeImage("imgTopLeft", {0, 0, 32, 28}, false, akLeft | akTop);
  imgTopLeft->SetPicture(SkinImage("topleft"), true);
  imgTopRight = MakeImage("imgTopRight", {463, 0, 8, 28}, false, akTop | akRight);
  imgTopRight->SetPicture(SkinImage("topright"), true);
  imgBottomLeft = MakeImage("imgBottomLeft", {0, 404, 5, 5}, false, akLeft | akBottom);
  imgBottomLeft->SetPicture(SkinImage("bottomleft"), true);
  imgBottomRight = MakeImage("imgBottomRight", {466, 404, 5, 5}, false, akRight | akBottom);
  imgBottomRight->SetPicture(SkinImage("bottomright"), true);

  lblCaption = new QLabel(this);
  lblCaption->setObjectName(QStringLiteral("lblCaption"));
  QFont CaptionFont;
  CaptionFont.setFamilies(
      {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  CaptionFont.setPixelSize(12);
  CaptionFont.setBold(true);
  lblCaption->setFont(CaptionFont);
  QPalette CaptionPal = lblCaption->palette();
  CaptionPal.setColor(QPalette::WindowText, Qt::white);
  lblCaption->setPalette(CaptionPal);
  lblCaption->setAttribute(Qt::WA_TranslucentBackground);
  lblCaption->move(36, 5);
  lblCaption->adjustSize();
  Anchor(lblCaption, akLeft | akTop);

  auto MakeButton = [this](const char* Name, QRect Bounds, unsigned Anchors) {
    auto* Button = new TkvuButton(this);
    Button->setObjectName(QLatin1String(Name));
    Button->SetLoading(true);
    Button->setGeometry(Bounds);
    Anchor(Button, Anchors);
    return Button;
  };
  btnMin = MakeButton("btnMin", {379, 3, 27, 24}, akTop | akRight);
  btnMin->hide();
  btnMax = MakeButton("btnMax", {406, 3, 25, 25}, akTop | akRight);
  btnMax->hide();
  btnCloseMe = MakeButton("btnCloseMe", {437, 3, 28, 18}, akTop | akRight);
  btnCloseMe->Bitmaps().SetUp(SkinImage("close_up"));
  btnCloseMe->Bitmaps().SetHot(SkinImage("close_hot"));
  btnCloseMe->Bitmaps().SetDown(SkinImage("close_down"));
  btnOkMe = MakeButton("btnOkMe", {284, 370, 78, 23}, akRight | akBottom);
  btnOkMe->SetCaption(QStringLiteral("OK"));
  btnCancelMe = MakeButton("btnCancelMe", {372, 370, 78, 23}, akRight | akBottom);
  btnCancelMe->SetCaption(QStringLiteral("Cancel"));
  for (TkvuButton* B : {btnOkMe, btnCancelMe}) {
    B->Bitmaps().SetUp(SkinImage("button_up"));
    B->Bitmaps().SetHot(SkinImage("button_hot"));
    B->Bitmaps().SetDown(SkinImage("button_down"));
    B->Bitmaps().SetDisabled(SkinImage("button_disabled"));
  }
  for (TkvuButton* B : {btnMin, btnMax, btnCloseMe, btnOkMe, btnCancelMe})
    B->SetLoading(false);

  btnMin->OnClick = [this] { btnMinClick(); };
  btnMax->OnClick = [this] { btnMaxClick(); };
  btnCloseMe->OnClick = [this] { btnCloseMeClick(); };
  btnOkMe->OnClick = [this] { btnOkMeClick(); };
  btnCancelMe->OnClick = [this] { btnCancelMeClick(); };
  imgTop->installEventFilter(this);
  lblCaption->installEventFilter(this);

  // The base creation step (see the header on derived windows).
  TBaseUI2Form::FormCreate();
}

TBaseUI2Form::~TBaseUI2Form() = default;

void TBaseUI2Form::SetClientSize(int W, int H)
{
  resize(W, H);
  // A hidden window gets its resize event only when shown; lay out now.
  FAnchors.Apply(QSize(W, H));
}

void TBaseUI2Form::FormCreate()
{
  SetRoundRegion(*this, 10);
  EnableDoubleBuffering();
}

void TBaseUI2Form::FormResize()
{
  SetRoundRegion(*this, 10);
}

void TBaseUI2Form::btnMinClick()
{
  showMinimized();
}

void TBaseUI2Form::btnMaxClick()
{
  showMaximized();
}

void TBaseUI2Form::btnCloseMeClick()
{
  close();
}

void TBaseUI2Form::btnOkMeClick()
{
  SetModalResult(mrOk);
}

void TBaseUI2Form::btnCancelMeClick()
{
  SetModalResult(mrCancel);
}

bool TBaseUI2Form::StartSystemMove()
{
  ++FMoveRequests;
  QWindow* Handle = windowHandle();
  return Handle && Handle->startSystemMove();
}

void TBaseUI2Form::imgTopMouseMove(int, int Y)
{
  if (Y <= 28 && FMoveAskedBy != imgTop) {
    FMoveAskedBy = imgTop;
    StartSystemMove();
  }
}

void TBaseUI2Form::lblCaptionMouseMove()
{
  if (FMoveAskedBy != lblCaption) {
    FMoveAskedBy = lblCaption;
    StartSystemMove();
  }
}

bool TBaseUI2Form::eventFilter(QObject* Watched, QEvent* Event)
{
  // Without mouse tracking, moves reach these controls only while a button
  // is held on them: that is the drag that moves the window.
  if ((Event->type() == QEvent::MouseButtonPress || Event->type() == QEvent::MouseButtonRelease) &&
      (Watched == imgTop || Watched == lblCaption)) {
    FMoveAskedBy = nullptr;
  } else if (Event->type() == QEvent::MouseMove) {
    auto* Mouse = static_cast<QMouseEvent*>(Event);
    if (Watched == imgTop)
      imgTopMouseMove(static_cast<int>(Mouse->position().x()), static_cast<int>(Mouse->position().y()));
    else if (Watched == lblCaption)
      lblCaptionMouseMove();
  }
  return QWidget::eventFilter(Watched, Event);
}

std::u16string TBaseUI2Form::GetUIText(const std::string&) const
{
  return {};
}

int TBaseUI2Form::ShowModal()
{
  FModalResult = mrNone;
  setWindowModality(Qt::ApplicationModal);
  show();
  QEventLoop Loop;
  FModalLoop = &Loop;
  if (FModalResult == mrNone)
    Loop.exec();
  FModalLoop = nullptr;
  hide();
  setWindowModality(Qt::NonModal);
  return FModalResult;
}

void TBaseUI2Form::SetModalResult(int Value)
{
  FModalResult = Value;
  // Without a modal run the window simply stays open.
  if (FModalLoop && Value != mrNone)
    FModalLoop->quit();
}

void TBaseUI2Form::resizeEvent(QResizeEvent* Event)
{
  QWidget::resizeEvent(Event);
  FAnchors.Apply(size());
  FormResize();
}

void TBaseUI2Form::closeEvent(QCloseEvent* Event)
{
  QWidget::closeEvent(Event);
  if (Event->isAccepted() && FModalLoop && FModalResult == mrNone)
    SetModalResult(mrCancel);
}

} // namespace quenloft
