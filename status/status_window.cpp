#include "status/status_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

#include "engine/texts.h"
#include "status/fit.h"
#include "status/look.h"
#include "status/open_folder.h"
#include "status/window_nav.h"

namespace velmora::status {

namespace {

// The client area: 7365 x 3870 twips at 15 twips per pixel.
constexpr int kWidth = 491;
constexpr int kHeight = 258;

QLabel* MakeLabel(QWidget* parent, const QRect& rect, const QFont& font) {
  auto* label = new QLabel(parent);
  label->setGeometry(rect);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetFittedFont(label, font);
  FitWhenPainted(label);  // the engine rewrites these lines with every message
  return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& rect, const QFont& font) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(rect);
  SetFittedFont(button, font);
  return button;
}

int ClampedRound(float value) {
  if (!std::isfinite(value)) return 0;
  const float bounded = std::fmin(std::fmax(value, -1e9f), 1e9f);
  return static_cast<int>(std::lround(bounded));
}

}  // namespace

frmMigateAll::frmMigateAll(engine::RunState& run_state, Desktop& desktop, StatusContext context)
    : QWidget(nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      run_state_(run_state),
      desktop_(desktop),
      context_(std::move(context)) {
  setObjectName(QStringLiteral("frmMigateAll"));
  setFixedSize(kWidth, kHeight);

  // The bands are wider than the window on purpose: they run off both edges.
  Shape2 = WhiteBand(this, QRect(-8, -8, 713, 113));
  Shape1 = WhiteBand(this, QRect(-16, 200, 713, 129));

  // The count line ends 4 pixels before the Skip button (x 456): a long path is drawn smaller rather than
  // run under the button and off the window's edge.
  lblCount1 = MakeLabel(this, QRect(8, 8, 444, 25), Tahoma(9.75, true));
  lblProgress = MakeLabel(this, QRect(8, 40, 401, 17), Tahoma(11.25));
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setGeometry(8, 64, 401, 25);
  ProgressBar1->setTextVisible(false);
  FrameConversion = MakeLabel(this, QRect(8, 120, 465, 17), Tahoma(9.75, true));
  SetTextColour(FrameConversion, kDarkGrey);
  LblCurrentDBX = MakeLabel(this, QRect(8, 136, 473, 57), Tahoma(9));
  SetTextColour(LblCurrentDBX, kGrey);
  // The lines the conversion writes show its text as it is: folder and file paths, and "&" as itself (the
  // frame line reads "Reading Messages & Email Metadata").
  ShowLiterally(lblCount1);
  ShowLiterally(LblCurrentDBX);
  ElideWhenLong(lblCount1);
  ElideWhenLong(LblCurrentDBX);
  ShowLiterally(FrameConversion);
  ShowLiterally(lblProgress);

  Image1 = new QLabel(this);
  Image1->setGeometry(8, 221, 16, 16);
  Image1->setPixmap(FolderIcon().pixmap(16, 16));
  Label3 = MakeLabel(this, QRect(32, 221, 265, 24), Verdana(9));
  SetCaption(Label3, QStringLiteral("Converted Outlook Data File Location :"));

  CmdSkip = MakeButton(this, QStringLiteral("X"), QRect(456, 8, 25, 21), Tahoma(9.75, true));
  CmdSkip->setToolTip(QStringLiteral("Cancel Conversion of Current Folder"));
  CmdStopMigration = MakeButton(this, QStringLiteral("S&TOP"), QRect(416, 64, 65, 25), Verdana(9));
  CmdStopMigration->setToolTip(QStringLiteral("Stops Complete Conversion"));
  CmdLocate = MakeButton(this, QStringLiteral("&Open Folder"), QRect(280, 216, 105, 26), Verdana(9));
  lblLocation = new QLabel(this);
  lblLocation->setGeometry(32, 243, 449, 15);
  lblLocation->setFont(Tahoma(8));
  lblLocation->setTextFormat(Qt::PlainText);
  ShowLiterally(lblLocation);
  ElideWhenLong(lblLocation);
  setTabOrder(CmdSkip, CmdStopMigration);
  setTabOrder(CmdStopMigration, CmdLocate);
  EnterPressesButtons(this, nullptr);

  connect(CmdSkip, &QPushButton::clicked, this, [this] { CmdSkip_Click(); });
  connect(CmdStopMigration, &QPushButton::clicked, this, [this] { CmdStopMigration_Click(); });
  connect(CmdLocate, &QPushButton::clicked, this, [this] { CmdLocate_Click(); });

  ResetToCreationState();
}

void frmMigateAll::ResetToCreationState() {
  setWindowTitle(QStringLiteral("Conversion Status"));
  SetCaption(lblCount1, QStringLiteral("Conversion Not Started Yet..."));
  SetCaption(lblProgress, QStringLiteral("0% Complete"));
  progress_min_ = 0;
  progress_max_ = 100;
  progress_value_ = 0;
  UpdateBar();
  SetCaption(FrameConversion, QStringLiteral("Conversion Not Started Yet"));
  SetCaption(LblCurrentDBX, QStringLiteral("Converting Messages..."));
  CmdSkip->setEnabled(true);
  CmdStopMigration->setVisible(false);
  CmdStopMigration->setEnabled(true);
  CmdLocate->setEnabled(false);
  SetCaption(lblLocation, QString());
}

void frmMigateAll::Load() {
  ResetToCreationState();
  loaded_ = true;
  unload_after_run_ = false;
  Form_Load();
}

void frmMigateAll::Form_Load() {
  // The engine's writes of a run in progress must not lose their queues and flags to a reload.
  const bool running = context_.run_in_progress && context_.run_in_progress();
  if (!running) run_state_.ResetForStatusLoad();
  SetProgressValue(0);
  SetCaption(lblProgress, QStringLiteral("0% Complete"));
  SetCaption(lblCount1, QStringLiteral("Conversion Not Started Yet..."));
  SetCaption(LblCurrentDBX, QStringLiteral("Converting Messages..."));
  SetCaption(FrameConversion, QStringLiteral("Details "));
  CmdSkip->setEnabled(false);
}

void frmMigateAll::CmdSkip_Click() {
  run_state_.SkipRequested = true;
}

void frmMigateAll::CmdStopMigration_Click() {
  // A skip that the driver has not reset yet: the user may leave the window now (after the usual question).
  if (run_state_.SkipRequested) {
    closing_for_skip_ = true;
    close();
    closing_for_skip_ = false;
  }
  run_state_.StopRequested = true;
}

QString frmMigateAll::LocationTarget() const {
  const bool single = context_.single_mode ? context_.single_mode() : true;
  const std::string output = context_.output_folder ? context_.output_folder().toStdString() : std::string();
  return QString::fromStdString(OpenFolderTarget(single, run_state_.PstFilePath, output));
}

void frmMigateAll::ShowLocation() {
  SetCaption(lblLocation, LocationTarget());
}

void frmMigateAll::CmdLocate_Click() {
  const QString target = LocationTarget();
  if (desktop_.ShellOpen(target)) return;
  desktop_.MessageBox(this,
                      QStringLiteral("No program to open folders was found on this desktop.\r\nThe converted "
                                     "Outlook data file(s) are in:\r\n") +
                          target,
                      QString::fromUtf8(engine::texts::kAppTitle), MessageBoxButtons::kOkOnly,
                      MessageBoxIcon::kInformation);
}

bool frmMigateAll::Form_QueryUnload() {
  return desktop_.MessageBox(this, QStringLiteral("Are you sure you want to exit now?"),
                             QString::fromUtf8(engine::texts::kAppTitle), MessageBoxButtons::kYesNo,
                             MessageBoxIcon::kQuestion) == MessageBoxAnswer::kYes;
}

void frmMigateAll::closeEvent(QCloseEvent* event) {
  const bool running = context_.run_in_progress && context_.run_in_progress();
  if (running && !closing_for_skip_) {
    // The window frame's close mid-run is the Stop button: the engine asks, and the window stays.
    event->ignore();
    CmdStopMigration_Click();
    return;
  }
  if (!Form_QueryUnload()) {
    event->ignore();
    return;
  }
  event->accept();
  if (context_.run_in_progress && context_.run_in_progress()) {
    unload_after_run_ = true;
  } else {
    loaded_ = false;
  }
}

void frmMigateAll::ShowOwnedBy(QWidget* owner) {
  EnsureLoaded();
  const bool was_visible = isVisible();
  const QPoint at = pos();
  if (parentWidget() != owner) {
    // Re-parenting a window hides it and resets its flags; keep ours, and its place when it was showing.
    const Qt::WindowFlags flags = windowFlags();
    setParent(owner, flags);
    if (was_visible) move(at);
  }
  if (!was_visible) CentreOver(this, owner);
  BringToFront(this);
}

void frmMigateAll::RunFinished() {
  if (!unload_after_run_) return;
  unload_after_run_ = false;
  loaded_ = false;
}

void frmMigateAll::SetProgressMin(float value) {
  progress_min_ = value;
  UpdateBar();
}

void frmMigateAll::SetProgressMax(float value) {
  progress_max_ = value;
  UpdateBar();
}

void frmMigateAll::SetProgressValue(float value) {
  progress_value_ = value;
  UpdateBar();
}

void frmMigateAll::UpdateBar() {
  const int low = ClampedRound(progress_min_);
  const int high = std::max(low, ClampedRound(progress_max_));
  ProgressBar1->setRange(low, high);
  ProgressBar1->setValue(std::clamp(ClampedRound(progress_value_), low, high));
}

}  // namespace velmora::status
