// The binder's slider: the handle, its caption, and the number beside it that can be typed
// (or, for a value held in tenths, stepped by 0.1 with the mouse).
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

#include "ui/binder.h"

namespace talvenor {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The number beside the slider, as the slider's value or in its shown units.
class ValueBox {
public:
    ValueBox(Slider& slider, QWidget* parent)
        : slider_(slider), scale_(std::pow(10.0, slider.ShownDecimals)), offset_(slider.ShownOffset) {
        if (slider.ShownDecimals > 0) {
            // A slider a hundred pixels wide over a range of a thousand cannot be set to one step
            // by dragging: the arrows step one unit of the value (0.1 of a gain).
            fine_ = new QDoubleSpinBox(parent);
            fine_->setDecimals(slider.ShownDecimals);
            fine_->setSingleStep(1.0 / scale_);
            fine_->setKeyboardTracking(false);
            fine_->setAlignment(Qt::AlignRight);
            fine_->setFixedWidth(fine_->fontMetrics().horizontalAdvance(QStringLiteral("-000.0")) + 34);
        } else {
            plain_ = new QSpinBox(parent);
            plain_->setButtonSymbols(QAbstractSpinBox::NoButtons);
            plain_->setAlignment(Qt::AlignRight);
            plain_->setKeyboardTracking(false);
            plain_->setFixedWidth(plain_->fontMetrics().horizontalAdvance(QStringLiteral("-0000")) + 10);
        }
    }
    QWidget* widget() const { return fine_ ? static_cast<QWidget*>(fine_) : plain_; }
    // Calls `changed` with the slider value the user set in the box.
    void OnChange(QObject* context, std::function<void(int)> changed) {
        if (fine_)
            QObject::connect(fine_, &QDoubleSpinBox::valueChanged, context,
                             [this, changed](double v) { changed(int(std::lrint(v * scale_))); });
        else
            QObject::connect(plain_, &QSpinBox::valueChanged, context, [this, changed](int v) { changed(v - offset_); });
    }
    void Push() {
        const int low = slider_.MinValue, high = std::max(slider_.MinValue, slider_.MaxValue);
        if (fine_) {
            fine_->setRange(low / scale_, high / scale_);
            if (std::lrint(fine_->value() * scale_) != slider_.Value) fine_->setValue(slider_.Value / scale_);
        } else {
            plain_->setRange(low + offset_, high + offset_);
            if (plain_->value() != slider_.Value + offset_) plain_->setValue(slider_.Value + offset_);
        }
        widget()->setEnabled(slider_.Enabled);
    }

private:
    Slider& slider_;
    const double scale_;
    const int offset_;
    QDoubleSpinBox* fine_ = nullptr;
    QSpinBox* plain_ = nullptr;
};

}  // namespace

QWidget* Binder::MakeSlider(Slider& sl, QWidget* parent) {
    auto* w = new QSlider(sl.Orient == Slider::Orientation::Vertical ? Qt::Vertical : Qt::Horizontal);
    auto* made = new QWidget(parent);
    auto* row = new QHBoxLayout(made);
    row->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(made);
    row->addWidget(label);
    w->setParent(made);
    row->addWidget(w, 1);
    auto value = std::make_shared<ValueBox>(sl, made);
    row->addWidget(value->widget());
    value->OnChange(this, [this, &sl](int v) {
        if (pushing_ || v == sl.Value) return;
        sl.SetValue(v);
        UserAction(sl, Event::Change);
    });
    w->installEventFilter(this);
    keyTargets_[w] = &sl;
    // While the handle is dragged the value is only tracking where the handler wants to tell the
    // two apart; the release (or a keyboard step) is the change.
    connect(w, &QSlider::valueChanged, this, [this, w, &sl](int v) {
        if (pushing_) return;  // a push, not the user
        sl.SetValue(v);
        const bool tracking = w->isSliderDown() && session_.handlers.Has(sl.Name, Event::Tracking);
        UserAction(sl, tracking ? Event::Tracking : Event::Change);
    });
    // A drag is one step to undo, however many changes it makes on the way.
    connect(w, &QSlider::sliderPressed, this, [this] { session_.undo.BeginGesture(); });
    connect(w, &QSlider::sliderReleased, this, [this, &sl] {
        if (!pushing_ && session_.handlers.Has(sl.Name, Event::Tracking)) UserAction(sl, Event::Change);
        session_.undo.EndGesture();
    });
    Bind(sl, made, [w, label, value, &sl] {
        label->setText(Q(sl.Caption));
        label->setVisible(!sl.Caption.empty());
        w->setRange(sl.MinValue, std::max(sl.MinValue, sl.MaxValue));
        w->setSingleStep(std::max(1, sl.Increment));
        if (w->value() != sl.Value) w->setValue(sl.Value);
        value->Push();
    });
    return made;
}

}  // namespace talvenor
