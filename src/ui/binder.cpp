#include "ui/binder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/picture_view.h"
#include "workspace/error.h"

namespace talvenor {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Controls a running pass still listens to: Cancel, Re-Align and the clicks that answer a
// manual alignment request. Everything else waits until the pass is over.
bool ActsDuringPass(const Control& c, Event e) {
    if (e == Event::Moved || e == Event::Close) return true;
    return c.Name == "BitBtn2" || c.Name == "ProgressCancel" || c.Name == "Haltbutton" || c.Name == "AlignImage" || c.Name == "PreviewImage";
}

// A label and the widget it names, side by side; the label follows the control's caption.
QWidget* Labelled(QWidget* parent, QLabel*& label, QWidget* field) {
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    label = new QLabel(box);
    row->addWidget(label);
    field->setParent(box);
    row->addWidget(field, 1);
    return box;
}

// Small pictures (graphs, thumbnails) keep their size; the main views fill their page.
bool IsGraph(const Picture& pic) { return pic.Width > 0 && pic.Height > 0 && pic.Width <= 400 && pic.Height <= 400; }

}  // namespace

Binder::Binder(Session& session) : session_(session) {}

void Binder::Bind(Control& control, QWidget* widget, std::function<void()> push) {
    byControl_[&control] = bindings_.size();
    bindings_.push_back({&control, widget, std::move(push)});
}

QWidget* Binder::WidgetOf(const Control& control) const {
    auto it = byControl_.find(&control);
    return it == byControl_.end() ? nullptr : bindings_[it->second].widget;
}

void Binder::PushAll() {
    pushing_ = true;
    for (Binding& b : bindings_) {
        const QSignalBlocker block(b.widget);
        if (b.widget->isHidden() == b.control->Visible && b.control->Kind != ControlKind::ToolWindow)
            b.widget->setVisible(b.control->Visible);
        if (b.widget->isEnabled() != b.control->Enabled) b.widget->setEnabled(b.control->Enabled);
        if (b.push) b.push();
    }
    for (const auto& after : afterPush_) after();
    pushing_ = false;
}

void Binder::Repaint(const void* control) {
    auto it = byControl_.find(control);
    if (it == byControl_.end()) return;
    Binding& b = bindings_[it->second];
    if (b.control->Kind == ControlKind::Picture) {
        if (auto* view = dynamic_cast<PictureView*>(b.widget)) {
            const auto* pic = static_cast<Picture*>(b.control);
            view->ShowGraph(pic->Image, pic->Axes, IsGraph(*pic));
            view->SetBoxes(static_cast<Picture*>(b.control)->Boxes);
        }
    } else if (b.push) {
        const QSignalBlocker block(b.widget);
        b.push();
    }
}

void Binder::UserAction(Control& control, Event event, const EventArgs& args) {
    if (pushing_) return;
    if (depth_ > 0 && !ActsDuringPass(control, event)) {
        PushAll();  // undo what the widget shows; the control did not change
        return;
    }
    Run(control.Name, event, args);
}

bool Binder::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto it = keyTargets_.find(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        if (it != keyTargets_.end() && session_.handlers.Has(it->second->Name, Event::KeyDown)) {
            EventArgs a;
            switch (key->key()) {
                case Qt::Key_Space: a.Key = ' '; break;
                case Qt::Key_Left: a.Key = kKeyLeft; break;
                case Qt::Key_Right: a.Key = kKeyRight; break;
                default: return QObject::eventFilter(watched, event);
            }
            a.Ctrl = key->modifiers() & Qt::ControlModifier;
            a.Shift = key->modifiers() & Qt::ShiftModifier;
            a.Alt = key->modifiers() & Qt::AltModifier;
            // An arrow the handler did not act on moves the slider as usual.
            auto* slider = it->second->Kind == ControlKind::Slider ? static_cast<Slider*>(it->second) : nullptr;
            const int before = slider ? slider->Value : 0;
            UserAction(*it->second, Event::KeyDown, a);
            return a.Key == ' ' || !slider || slider->Value != before;
        }
    }
    return QObject::eventFilter(watched, event);
}

void Binder::WindowAction(std::string_view name, Event event, const EventArgs& args) {
    if (pushing_ || depth_ > 0) return;  // nothing is opened while a pass runs
    Run(name, event, args);
}

void Binder::Run(std::string_view name, Event event, const EventArgs& args) {
    ++depth_;
    try {
        session_.Dispatch(name, event, args);
    } catch (const std::exception& e) {
        session_.host.SetCursor(CursorKind::Default);
        QMessageBox::critical(nullptr, "Talvenor", QString::fromUtf8(e.what()));
    }
    --depth_;
    PushAll();
}

QWidget* Binder::CreateWidget(Control& c, QWidget* parent) {
    const QString tip = Q(c.Hint);
    QWidget* made = nullptr;
    switch (c.Kind) {
        case ControlKind::CheckBox: {
            auto& cb = static_cast<CheckBox&>(c);
            auto* w = new QCheckBox(parent);
            connect(w, &QCheckBox::toggled, this, [this, &cb](bool on) {
                if (pushing_) return;  // a push, not the user
                cb.Checked = on;
                UserAction(cb, Event::Click);
            });
            Bind(c, w, [w, &cb] {
                if (w->text() != Q(cb.Caption)) w->setText(Q(cb.Caption));
                if (w->isChecked() != cb.Checked) w->setChecked(cb.Checked);
            });
            made = w;
            break;
        }
        case ControlKind::SpinEdit: {
            auto& sp = static_cast<SpinEdit&>(c);
            auto* w = new QDoubleSpinBox();
            w->setKeyboardTracking(false);
            QLabel* label = nullptr;
            made = Labelled(parent, label, w);
            connect(w, &QDoubleSpinBox::valueChanged, this, [this, &sp](double v) {
                if (pushing_) return;  // a push, not the user
                sp.SetValue(v);
                UserAction(sp, Event::Change);
            });
            Bind(c, made, [w, label, &sp] {
                label->setText(Q(sp.Caption));
                label->setVisible(!sp.Caption.empty());
                w->setDecimals(sp.Decimals);
                w->setSingleStep(sp.Increment > 0 ? sp.Increment : 1);
                const bool bounded = sp.MinValue != 0 || sp.MaxValue != 0;
                w->setRange(bounded ? sp.MinValue : -1e9, bounded ? sp.MaxValue : 1e9);
                if (w->value() != sp.Value) w->setValue(sp.Value);
            });
            break;
        }
        case ControlKind::Slider:
            made = MakeSlider(static_cast<Slider&>(c), parent);
            break;
        case ControlKind::RadioGroup: {
            auto& rg = static_cast<Choice&>(c);
            auto* box = new QGroupBox(parent);
            auto* layout = new QVBoxLayout(box);
            layout->setContentsMargins(6, 4, 6, 4);
            layout->setSpacing(1);
            auto* group = new QButtonGroup(box);
            for (std::size_t i = 0; i < rg.Items.size(); ++i) {
                auto* r = new QRadioButton(Q(rg.Items[i]), box);
                group->addButton(r, int(i));
                layout->addWidget(r);
            }
            connect(group, &QButtonGroup::idClicked, this, [this, &rg](int id) {
                if (pushing_) return;  // a push, not the user
                rg.ItemIndex = id;
                UserAction(rg, Event::Click);
            });
            Bind(c, box, [box, group, &rg] {
                box->setTitle(Q(rg.Caption));
                if (auto* b = group->button(rg.ItemIndex); b && !b->isChecked()) b->setChecked(true);
                if (rg.ItemIndex < 0 && group->checkedButton()) {
                    group->setExclusive(false);
                    group->checkedButton()->setChecked(false);
                    group->setExclusive(true);
                }
            });
            made = box;
            break;
        }
        case ControlKind::ComboBox: {
            auto& cb = static_cast<Choice&>(c);
            auto* w = new QComboBox();
            QLabel* label = nullptr;
            made = Labelled(parent, label, w);
            connect(w, &QComboBox::currentIndexChanged, this, [this, &cb](int i) {
                if (pushing_) return;  // a push, not the user
                cb.ItemIndex = i;
                UserAction(cb, Event::Change);
            });
            Bind(c, made, [w, label, &cb] {
                label->setText(Q(cb.Caption));
                label->setVisible(!cb.Caption.empty());
                if (w->count() != int(cb.Items.size())) {
                    w->clear();
                    for (const auto& item : cb.Items) w->addItem(Q(item));
                }
                if (w->currentIndex() != cb.ItemIndex) w->setCurrentIndex(cb.ItemIndex);
            });
            break;
        }
        case ControlKind::Label: {
            const auto& heading = static_cast<Label&>(c).Heading;
            auto* w = new QLabel(heading.empty() ? parent : nullptr);
            w->setWordWrap(true);
            made = w;
            if (!heading.empty()) {
                // A bare value ("32 32") says what it is.
                QLabel* title = nullptr;
                made = Labelled(parent, title, w);
                title->setText(Q(heading) + ":");
            }
            Bind(c, made, [w, &c] {
                if (w->text() != Q(c.Caption)) w->setText(Q(c.Caption));
            });
            break;
        }
        case ControlKind::Button: {
            auto& bt = static_cast<Button&>(c);
            auto* w = new QPushButton(parent);
            // Enter or Space meant for the page must never press a button: none is a default
            // button, and the workspace buttons (Save as renames the capture) take no focus.
            w->setAutoDefault(false);
            w->setDefault(false);
            if (c.Parent == "MainForm") w->setFocusPolicy(Qt::NoFocus);
            connect(w, &QPushButton::pressed, this, [this, &bt] {
                bt.Down = true;
                UserAction(bt, Event::MouseDown);
            });
            connect(w, &QPushButton::released, this, [this, &bt] {
                bt.Down = false;
                UserAction(bt, Event::MouseUp);
            });
            connect(w, &QPushButton::clicked, this, [this, &bt] { UserAction(bt, Event::Click); });
            Bind(c, w, [w, &bt] {
                if (w->text() != Q(bt.Caption)) w->setText(Q(bt.Caption));
            });
            made = w;
            break;
        }
        case ControlKind::Memo: {
            auto& memo = static_cast<Memo&>(c);
            auto* w = new QTextBrowser(parent);
            w->setOpenExternalLinks(false);
            struct Shown {
                std::string html;
                std::vector<std::string> lines;
            };
            auto shown = std::make_shared<Shown>();
            Bind(c, w, [w, &memo, shown] {
                if (!memo.Html.empty()) {
                    if (shown->html == memo.Html) return;
                    shown->html = memo.Html;
                    shown->lines.clear();
                    w->setHtml(Q(memo.Html));  // a help text reads from its top
                    return;
                }
                // A log grows at its end: new lines are appended; anything else (a clear, a
                // refilled report) is shown afresh.
                const bool appended = shown->html.empty() && shown->lines.size() <= memo.Lines.size() &&
                                      std::equal(shown->lines.begin(), shown->lines.end(), memo.Lines.begin());
                if (appended && shown->lines.size() == memo.Lines.size()) return;
                if (!appended) {
                    w->clear();
                    shown->lines.clear();
                    shown->html.clear();
                }
                for (std::size_t i = shown->lines.size(); i < memo.Lines.size(); ++i) {
                    w->append(Q(memo.Lines[i]));
                    shown->lines.push_back(memo.Lines[i]);
                }
                // A log is read at its newest line.
                if (auto* bar = w->verticalScrollBar()) bar->setValue(bar->maximum());
            });
            made = w;
            break;
        }
        case ControlKind::ListBox:
        case ControlKind::CheckListBox: {
            auto& list = static_cast<ItemList&>(c);
            auto* w = new QListWidget(parent);
            w->setSelectionMode(list.MultiSelect ? QAbstractItemView::ExtendedSelection
                                                 : QAbstractItemView::SingleSelection);
            const bool checks = c.Kind == ControlKind::CheckListBox;
            connect(w, &QListWidget::itemClicked, this, [this, w, &list](QListWidgetItem* item) {
                if (pushing_) return;  // a push, not the user
                list.ItemIndex = w->row(item);
                EventArgs a;
                a.Item = list.ItemIndex;
                UserAction(list, Event::Click, a);
            });
            connect(w, &QListWidget::itemDoubleClicked, this, [this, w, &list](QListWidgetItem* item) {
                if (pushing_) return;  // a push, not the user
                list.ItemIndex = w->row(item);
                EventArgs a;
                a.Item = list.ItemIndex;
                UserAction(list, Event::DblClick, a);
            });
            if (checks)
                connect(w, &QListWidget::itemChanged, this, [this, w, &list](QListWidgetItem* item) {
                if (pushing_) return;  // a push, not the user
                    const int row = w->row(item);
                    if (row < 0 || row >= int(list.Checked.size())) return;
                    list.Checked[std::size_t(row)] = item->checkState() != Qt::Unchecked;
                    list.Grayed[std::size_t(row)] = false;
                    list.ItemIndex = row;
                    EventArgs a;
                    a.Item = row;
                    UserAction(list, Event::ClickCheck, a);
                });
            // The highlight is state the handlers read (a double click toggles every
            // highlighted frame), not an action of its own.
            connect(w, &QListWidget::itemSelectionChanged, this, [w, &list] {
                list.Selected.assign(list.Items.size(), false);
                for (QListWidgetItem* item : w->selectedItems()) {
                    const int row = w->row(item);
                    if (row >= 0 && row < int(list.Selected.size())) list.Selected[std::size_t(row)] = true;
                }
            });
            Bind(c, w, [w, &list, checks] {
                const bool rebuild = w->count() != int(list.Items.size());
                if (rebuild) {
                    w->clear();
                    for (const auto& text : list.Items) w->addItem(Q(text));
                }
                for (int i = 0; i < w->count(); ++i) {
                    QListWidgetItem* item = w->item(i);
                    const std::size_t k = std::size_t(i);
                    if (!rebuild && item->text() != Q(list.Items[k])) item->setText(Q(list.Items[k]));
                    if (checks) {
                        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                        const bool grey = k < list.Grayed.size() && list.Grayed[k];
                        const bool on = k < list.Checked.size() && list.Checked[k];
                        const auto state = grey ? Qt::PartiallyChecked : on ? Qt::Checked : Qt::Unchecked;
                        if (item->checkState() != state) item->setCheckState(state);
                    }
                    const bool selected = k < list.Selected.size() && list.Selected[k];
                    if (item->isSelected() != selected) item->setSelected(selected);
                }
                if (w->currentRow() != list.ItemIndex) {
                    w->setCurrentRow(list.ItemIndex, QItemSelectionModel::NoUpdate);
                    if (list.ItemIndex >= 0) w->scrollToItem(w->item(list.ItemIndex));
                }
            });
            made = w;
            break;
        }
        case ControlKind::Edit: {
            auto& ed = static_cast<Edit&>(c);
            auto* w = new QLineEdit();
            QLabel* label = nullptr;
            made = Labelled(parent, label, w);
            connect(w, &QLineEdit::editingFinished, this, [this, w, &ed] {
                if (ed.Text == w->text().toStdString()) return;
                ed.Text = w->text().toStdString();
                UserAction(ed, Event::Change);
            });
            Bind(c, made, [w, label, &ed] {
                label->setText(Q(ed.Caption));
                label->setVisible(!ed.Caption.empty());
                if (w->text() != Q(ed.Text)) w->setText(Q(ed.Text));
            });
            break;
        }
        case ControlKind::Picture: {
            auto& pic = static_cast<Picture&>(c);
            auto* w = new PictureView(parent);
            if (IsGraph(pic)) {
                w->setFixedSize(pic.Width, pic.Height);
                // A graph shows at its own size; a picture a pixel larger must not bring scroll bars.
                w->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                w->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            }
            w->OnMouse = [this, &pic](Event e, const EventArgs& a) {
                if (e == Event::MouseMove && !session_.handlers.Has(pic.Name, Event::MouseMove)) return;
                UserAction(pic, e, a);
            };
            // The page's scroll box follows the view (a thumbnail marks the part shown) and the view
            // the scroll box (a stack scrolls to the feature).
            if (ScrollBox* box = pic.Scroller) {
                w->OnViewMoved = [this, &pic, box](int x, int y, int width, int height) {
                    if (pushing_) return;
                    const bool moved = x != box->HorzPosition || y != box->VertPosition || width != box->ViewWidth ||
                                       height != box->ViewHeight;
                    box->HorzPosition = x;
                    box->VertPosition = y;
                    box->ViewWidth = width;
                    box->ViewHeight = height;
                    if (moved && depth_ == 0 && session_.handlers.Has(pic.Name, Event::Scrolled)) UserAction(pic, Event::Scrolled);
                };
            }
            Bind(c, w, [w, &pic] {
                w->ShowGraph(pic.Image, pic.Axes, IsGraph(pic));
                w->SetBoxes(pic.Boxes);
                if (const ScrollBox* box = pic.Scroller; box && w->ScrollPosition() != QPoint(box->HorzPosition, box->VertPosition))
                    w->ScrollTo(box->HorzPosition, box->VertPosition);
            });
            made = w;
            break;
        }
        case ControlKind::Gauge: {
            auto& g = static_cast<Gauge&>(c);
            auto* w = new QProgressBar(parent);
            w->setRange(0, 100);
            Bind(c, w, [w, &g] {
                if (w->value() != g.Progress) w->setValue(g.Progress);
            });
            made = w;
            break;
        }
        default:
            return nullptr;  // shown by the page, window or dialog that owns it
    }
    if (!tip.isEmpty()) made->setToolTip(tip);
    made->setObjectName(Q(c.Name));
    return made;
}

}  // namespace talvenor
