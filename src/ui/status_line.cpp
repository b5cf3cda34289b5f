#include "ui/status_line.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "input/unreadable_frames.h"
#include "session/session.h"
#include "ui/binder.h"
#include "workspace/pass_progress.h"

namespace talvenor {

namespace {
constexpr int kRefreshMs = 150;

QLabel* AddLabel(QStatusBar* bar, const char* name, const char* tip, int stretch) {
    auto* label = new QLabel(bar);
    label->setObjectName(name);
    label->setToolTip(tip);
    bar->addWidget(label, stretch);
    return label;
}
}  // namespace

// Every layer at gain 1: nothing sharpened yet.
static bool GainsNeutral(const Controls& f) {
    for (const Slider* g : {&f.RxSlider3, &f.RxSlider4, &f.RxSlider5, &f.RxSlider6, &f.RxSlider7, &f.RxSlider8})
        if (g->Value != 10) return false;
    return true;
}

QString StageOf(const Session& s) {
    const Workspace& ws = s.ws;
    if (ws.SelectedCount == 0 && ws.LastFrame == 0) return "No input";
    // Until the next pass or feature pick: what the user stopped is not shown as done.
    if (ws.CancelRequested) return "Cancelled";
    switch (ws.ProgStatus) {
        case 0: return "Input opened: click the feature to align on";
        case 1: return "Feature chosen";
        case 2: return "Aligned";
        case 3: return "Aligned and ranked";
        default:
            if (!ws.StackReady) return "Aligned";
            if (ws.LayersStale) return "Stacked";
            if (s.form.SharpenMethod.ItemIndex == 1)
                return "Stacked and deconvolved (blur sigma " + QString::number(s.form.DeconvSigma.Value * 0.01, 'f', 2) + " px)";
            return GainsNeutral(s.form) ? "Stacked; wavelet layers ready: set the gains or press Auto to sharpen"
                                        : "Stacked and sharpened by the wavelet layers";
    }
}

QString DurationText(int64_t ms) {
    if (ms < 1000) return QString::number(ms) + " ms";
    return QString::number(double(ms) / 1000.0, 'f', 2) + " s";
}

StatusLine::StatusLine(Binder& binder, QStatusBar* bar)
    : QObject(bar),
      binder_(binder),
      stage_(AddLabel(bar, "StatusStage", "The stage the work has reached", 2)),
      frames_(AddLabel(bar, "StatusFrames", "Frames in the input and frames selected for stacking", 2)),
      time_(AddLabel(bar, "StatusTime", "How long the last operation took", 1)),
      saved_(AddLabel(bar, "StatusSaved", "The file the last save wrote", 3)),
      progress_(AddLabel(bar, "StatusProgress", "The running operation: done of total, rate and time left", 3)),
      bar_(new QProgressBar(bar)),
      cancel_(new QPushButton("Cancel", bar)),
      timer_(new QTimer(this)) {
    // The bar and its Cancel take the floating progress window's place: the pass is followed
    // where the eye already is, and nothing covers the picture.
    bar_->setObjectName("StatusProgressBar");
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    bar_->setFixedWidth(140);
    cancel_->setObjectName("StatusCancel");
    cancel_->setToolTip("Stops the running operation after the frame in hand");
    bar->addPermanentWidget(bar_);
    bar->addPermanentWidget(cancel_);
    connect(cancel_, &QPushButton::clicked, this,
            [this] { binder_.UserAction(binder_.session().form.ProgressCancel, Event::Click); });
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
    timer_->start();
    Refresh();
}

QString StatusLine::StageText() const { return stage_->text(); }
QString StatusLine::FramesText() const { return frames_->text(); }
QString StatusLine::TimeText() const { return time_->text(); }
QString StatusLine::ProgressText() const { return progress_->text(); }
QString StatusLine::SavedText() const { return saved_->text(); }

void StatusLine::RefreshProgress() {
    const PassProgress& p = binder_.session().form.StatusProgress;
    const bool shown = p.Running && binder_.Busy();
    const QString text = shown ? QString::fromStdString(talvenor::ProgressText(p)) : QString();
    if (progress_->text() != text) progress_->setText(text);
    const int percent = p.Total > 0 ? int(std::clamp(p.Done * 100 / p.Total, 0LL, 100LL)) : 0;
    if (bar_->value() != percent) bar_->setValue(percent);
    if (progress_->isVisibleTo(progress_->parentWidget()) != shown) {
        progress_->setVisible(shown);
        bar_->setVisible(shown);
        cancel_->setVisible(shown);
        // The pass's count says where it is; the frame counts would crowd it out of a small window.
        frames_->setVisible(!shown);
    }
}

void StatusLine::Refresh() {
    const Workspace& ws = binder_.session().ws;
    const bool busy = binder_.Busy();
    if (busy && !wasBusy_) running_.start();
    if (!busy && wasBusy_) lastMs_ = running_.elapsed();
    wasBusy_ = busy;

    QString stage = StageOf(binder_.session());
    // The stage reached before the operation would read as what it is doing ("Working -
    // Aligned" while aligning): the progress text beside it names the operation.
    if (busy) stage = "Working";
    if (stage_->text() != stage) stage_->setText(stage);

    QString frames;
    if (ws.SelectedCount > 0 || ws.LastFrame > 0) {
        frames = QString("Frames: %1, selected %2").arg(ws.LastFrame + 1).arg(ws.SelectedCount);
        // Frames that could not be read are left out of every pass; the tip names them.
        if (!ws.UnreadableFrames.empty()) frames += QString(", %1 unreadable").arg(ws.UnreadableFrames.size());
        if (busy) frames += QString(" - at frame %1").arg(ws.CurrentFrame + 1);
    }
    if (frames_->text() != frames) frames_->setText(frames);
    const std::string skipped = UnreadableSummary(ws);
    const QString tip = skipped.empty() ? QString("Frames in the input and frames selected for stacking")
                                        : QString::fromStdString(skipped);
    if (frames_->toolTip() != tip) frames_->setToolTip(tip);

    QString time;
    if (busy)
        time = "Running " + DurationText(running_.elapsed());
    else if (lastMs_ >= 0)
        time = "Last operation: " + DurationText(lastMs_);
    if (time_->text() != time) time_->setText(time);

    const QString saved = busy ? QString() : QString::fromStdString(ws.SavedNote);
    if (saved_->text() != saved) {
        saved_->setText(saved);
        saved_->setToolTip(saved);
    }
    saved_->setVisible(!saved.isEmpty());
    RefreshProgress();
}

}  // namespace talvenor
