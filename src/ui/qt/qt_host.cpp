#include "ui/qt/qt_host.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>

#include "platform/system_info.h"
#include "startup/diagnostics.h"
#include "ui/bar_range.h"
#include "ui/frm_files.h"

namespace quillmend {
namespace {

constexpr int kTurnMilliseconds = 50;

QApplication* Application() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return app;
  static int argc = 1;
  static char name[] = "quillmend";
  static char* argv[] = {name, nullptr};
  // Lives for the process: Qt allows one application object, and tests create several hosts.
  static QApplication* app = new QApplication(argc, argv);
  app->setQuitOnLastWindowClosed(false);
  return app;
}

QString Q(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QRect PixelRect(const TwipRect& r) {
  return {PixelsFromTwips(r.left), PixelsFromTwips(r.top), PixelsFromTwips(r.width),
          PixelsFromTwips(r.height)};
}

// The program's icon: a blue tile with a white downward arrow over a bar.
QIcon ProgramIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x5f, 0xbf));
  painter.drawRoundedRect(1, 1, 30, 30, 6, 6);
  painter.setBrush(Qt::white);
  const QPointF arrow[] = {{12, 5}, {20, 5}, {20, 14}, {25, 14}, {16, 23}, {7, 14}, {12, 14}};
  painter.drawPolygon(arrow, 7);
  painter.drawRect(7, 25, 18, 3);
  return QIcon(pixmap);
}

// Virtual-key code of a function key, 0 for any other key.
int KeyCode(int qt_key) {
  if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F24) return 0x70 + (qt_key - Qt::Key_F1);
  return 0;
}

int ShiftMask(Qt::KeyboardModifiers modifiers) {
  int mask = 0;
  if (modifiers & Qt::ShiftModifier) mask |= kShiftMask;
  if (modifiers & Qt::ControlModifier) mask |= kCtrlMask;
  if (modifiers & Qt::AltModifier) mask |= kAltMask;
  return mask;
}

class EventFilter : public QObject {
 public:
  std::function<bool(QObject*, QEvent*)> handler;
  bool eventFilter(QObject* watched, QEvent* event) override {
    return handler ? handler(watched, event) : false;
  }
};

}  // namespace

struct QtHost::Impl {
  std::optional<ScriptedAnswers> answers;
  FrmFiles* window = nullptr;
  std::unique_ptr<QWidget> form;
  std::array<QWidget*, kControlCount> widgets{};
  std::unique_ptr<QSystemTrayIcon> tray;
  std::unique_ptr<QTimer> turn_timer;
  EventFilter filter;
  bool tray_available = false;
  bool quit_requested = false;
  bool busy = false;
  // True while Render changes widgets, so that the changes are not taken as the user's input.
  bool applying = false;

  template <typename T>
  T* Widget(ControlId id) const {
    return static_cast<T*>(widgets[static_cast<int>(id)]);
  }

  void Build();
  void Render();
  void Turn() {
    if (window == nullptr) return;
    window->Poll();
    Render();
  }
  bool Filter(QObject* watched, QEvent* event);
};

void QtHost::Impl::Build() {
  form = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::CustomizeWindowHint |
                                                Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                Qt::WindowMinimizeButtonHint |
                                                Qt::WindowCloseButtonHint);
  form->setWindowIcon(ProgramIcon());
  QFont font = form->font();
  font.setPixelSize(12);
  form->setFont(font);
  QWidget* parent = form.get();

  auto label = [&](ControlId id, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* l = new QLabel(parent);
    l->setAlignment(align);
    widgets[static_cast<int>(id)] = l;
  };
  label(ControlId::lblCaption0);
  label(ControlId::lblCaption1);
  label(ControlId::lblFile);
  label(ControlId::Label4);
  label(ControlId::lblCPS);
  label(ControlId::lblCounter, Qt::AlignRight | Qt::AlignVCenter);
  label(ControlId::Label2);
  label(ControlId::Label3);
  label(ControlId::Label5);
  label(ControlId::Label6);
  label(ControlId::lbl고객);
  for (ControlId id : {ControlId::prgAll, ControlId::prgFile}) {
    auto* bar = new QProgressBar(parent);
    bar->setTextVisible(false);
    widgets[static_cast<int>(id)] = bar;
  }
  const std::pair<ControlId, WindowButton> buttons[] = {
      {ControlId::cmdVer, WindowButton::cmdVer},   {ControlId::cmdApply, WindowButton::cmdApply},
      {ControlId::cmdAuto, WindowButton::cmdAuto}, {ControlId::cmd취소, WindowButton::cmd취소},
      {ControlId::cmdDown, WindowButton::cmdDown}, {ControlId::cmdCopy, WindowButton::cmdCopy}};
  for (const auto& [id, which] : buttons) {
    auto* button = new QPushButton(parent);
    QObject::connect(button, &QPushButton::clicked, [this, which = which] {
      if (window != nullptr && !applying) window->ClickButton(which);
    });
    widgets[static_cast<int>(id)] = button;
  }
  auto* versions = new QListWidget(parent);
  versions->setSelectionMode(QAbstractItemView::ExtendedSelection);
  QObject::connect(versions, &QListWidget::itemSelectionChanged, [this, versions] {
    if (window == nullptr || applying) return;
    ListBoxControl& list = window->lstVer;
    for (int i = 0; i < versions->count() && i < list.ListCount(); ++i) {
      list.selected[i] = versions->item(i)->isSelected();
    }
  });
  widgets[static_cast<int>(ControlId::lstVer)] = versions;
  auto* files = new QListWidget(parent);
  files->setSelectionMode(QAbstractItemView::SingleSelection);
  widgets[static_cast<int>(ControlId::lstFile)] = files;
  auto* processes = new QTreeWidget(parent);
  processes->setRootIsDecorated(false);
  processes->setColumnCount(2);
  processes->header()->setDefaultSectionSize(280);
  QObject::connect(processes, &QTreeWidget::itemChanged, [this, processes](QTreeWidgetItem* item) {
    if (window == nullptr || applying) return;
    const int row = processes->indexOfTopLevelItem(item);
    auto& items = window->lvwProcesses.items;
    if (row >= 0 && row < static_cast<int>(items.size())) {
      items[row].checked = item->checkState(0) == Qt::Checked;
    }
  });
  widgets[static_cast<int>(ControlId::lvwProcesses)] = processes;

  for (int i = 0; i < kControlCount; ++i) {
    widgets[i]->setGeometry(PixelRect(ControlRect(static_cast<ControlId>(i))));
    widgets[i]->installEventFilter(&filter);
  }
  filter.handler = [this](QObject* watched, QEvent* event) { return Filter(watched, event); };
  form->installEventFilter(&filter);
}

bool QtHost::Impl::Filter(QObject* watched, QEvent* event) {
  if (window == nullptr || applying) return false;
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      const int code = KeyCode(key->key());
      if (code == 0) return false;
      window->Form_KeyDown(code, ShiftMask(key->modifiers()));
      Render();
      return (key->modifiers() & Qt::ControlModifier) != 0;
    }
    case QEvent::MouseButtonDblClick:
      if (watched == Widget<QWidget>(ControlId::Label2)) window->Label2_DblClick();
      else if (watched == Widget<QWidget>(ControlId::Label3)) window->Label3_DblClick();
      else if (watched == Widget<QWidget>(ControlId::Label4)) window->Label4_DblClick();
      else return false;
      Render();
      return true;
    case QEvent::WindowStateChange:
      if (watched != form.get()) return false;
      window->minimized = form->isMinimized();
      window->Form_Resize();
      QTimer::singleShot(0, form.get(), [this] { Render(); });
      return false;
    case QEvent::Close:
      if (watched != form.get()) return false;
      event->ignore();
      // Asked outside the close event: the confirmation and the closing animation yield.
      QTimer::singleShot(0, form.get(), [this] {
        if (window != nullptr) window->Form_QueryUnload();
      });
      return true;
    default:
      return false;
  }
}

void QtHost::Impl::Render() {
  if (window == nullptr || !form) return;
  FrmFiles& w = *window;
  applying = true;
  if (w.unloaded()) {
    form->hide();
    applying = false;
    return;
  }
  if (form->windowTitle() != Q(w.caption)) form->setWindowTitle(Q(w.caption));
  const QSize client(std::max(1, PixelsFromTwips(w.width - kNonClientWidth)),
                     std::max(1, PixelsFromTwips(w.height - kNonClientHeight)));
  if (form->size() != client) {
    // A fixed size keeps window managers from resizing; the offscreen platform has none.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
      form->resize(client);
    } else {
      form->setFixedSize(client);
    }
  }
  const QPoint position(PixelsFromTwips(w.left), PixelsFromTwips(w.top));
  if (form->pos() != position) form->move(position);

  auto set_label = [&](ControlId id, const LabelControl& control) {
    auto* label = Widget<QLabel>(id);
    if (label->text() != Q(control.caption)) label->setText(Q(control.caption));
    if (label->isVisibleTo(form.get()) != control.visible) label->setVisible(control.visible);
  };
  set_label(ControlId::lblCaption0, w.lblCaption[0]);
  set_label(ControlId::lblCaption1, w.lblCaption[1]);
  set_label(ControlId::lblFile, w.lblFile);
  set_label(ControlId::Label4, w.Label4);
  set_label(ControlId::lblCPS, w.lblCPS);
  set_label(ControlId::lblCounter, w.lblCounter);
  set_label(ControlId::Label2, w.Label2);
  set_label(ControlId::Label3, w.Label3);
  set_label(ControlId::Label5, w.Label5);
  set_label(ControlId::Label6, w.Label6);
  set_label(ControlId::lbl고객, w.lbl고객);

  auto set_button = [&](ControlId id, const ButtonControl& control) {
    auto* button = Widget<QPushButton>(id);
    if (button->text() != Q(control.caption)) button->setText(Q(control.caption));
    if (button->isVisibleTo(form.get()) != control.visible) button->setVisible(control.visible);
    if (button->isEnabled() != control.enabled) button->setEnabled(control.enabled);
  };
  set_button(ControlId::cmdVer, w.cmdVer);
  set_button(ControlId::cmdApply, w.cmdApply);
  set_button(ControlId::cmdAuto, w.cmdAuto);
  set_button(ControlId::cmd취소, w.cmd취소);
  set_button(ControlId::cmdDown, w.cmdDown);
  set_button(ControlId::cmdCopy, w.cmdCopy);

  auto set_bar = [&](ControlId id, const ProgressBarControl& control) {
    auto* bar = Widget<QProgressBar>(id);
    const auto [minimum, maximum, value] = DisplayedBarRange(control);
    if (bar->minimum() != minimum || bar->maximum() != maximum) bar->setRange(minimum, maximum);
    if (bar->value() != value) bar->setValue(value);
  };
  set_bar(ControlId::prgAll, w.prgAll);
  set_bar(ControlId::prgFile, w.prgFile);

  auto set_list = [&](ControlId id, const ListBoxControl& control) {
    auto* list = Widget<QListWidget>(id);
    bool same = list->count() == control.ListCount();
    for (int i = 0; same && i < list->count(); ++i) {
      same = list->item(i)->text() == Q(control.items[i]);
    }
    if (!same) {
      list->clear();
      for (const std::string& item : control.items) list->addItem(Q(item));
    }
    for (int i = 0; i < list->count() && i < static_cast<int>(control.selected.size()); ++i) {
      if (list->item(i)->isSelected() != control.selected[i]) {
        list->item(i)->setSelected(control.selected[i]);
      }
    }
  };
  set_list(ControlId::lstVer, w.lstVer);
  set_list(ControlId::lstFile, w.lstFile);

  auto* processes = Widget<QTreeWidget>(ControlId::lvwProcesses);
  QStringList headers;
  for (const std::string& column : w.lvwProcesses.columns) headers << Q(column);
  if (processes->headerItem()->text(0) != headers.value(0)) processes->setHeaderLabels(headers);
  const auto& rows = w.lvwProcesses.items;
  if (processes->topLevelItemCount() != static_cast<int>(rows.size())) {
    processes->clear();
    for (size_t i = 0; i < rows.size(); ++i) {
      auto* item = new QTreeWidgetItem(processes);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, Qt::Unchecked);  // shows the box even when unchecked
    }
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    QTreeWidgetItem* item = processes->topLevelItem(static_cast<int>(i));
    if (item->text(0) != Q(rows[i].text)) item->setText(0, Q(rows[i].text));
    if (item->text(1) != Q(rows[i].sub_item1)) item->setText(1, Q(rows[i].sub_item1));
    const Qt::CheckState check = rows[i].checked ? Qt::Checked : Qt::Unchecked;
    if (item->checkState(0) != check) item->setCheckState(0, check);
  }

  if (!w.visible) {
    if (form->isVisible()) form->hide();
  } else if (w.minimized) {
    if (!form->isMinimized()) form->showMinimized();
  } else if (!form->isVisible() || form->isMinimized()) {
    form->showNormal();
  }
  applying = false;
}

bool QtHost::CanStart() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return (platform != nullptr && *platform != '\0') || DisplayAvailable();
}

std::unique_ptr<QtHost> QtHost::Create(std::optional<ScriptedAnswers> answers) {
  if (!CanStart()) return nullptr;
  Application();
  return std::unique_ptr<QtHost>(new QtHost(std::move(answers)));
}

QtHost::QtHost(std::optional<ScriptedAnswers> answers) : impl_(std::make_unique<Impl>()) {
  impl_->answers = std::move(answers);
  impl_->tray_available = QSystemTrayIcon::isSystemTrayAvailable();
  if (!impl_->tray_available) {
    LogLine("no notification area on this desktop: the window stays shown");
  }
  impl_->turn_timer = std::make_unique<QTimer>();
  impl_->turn_timer->setInterval(kTurnMilliseconds);
  QObject::connect(impl_->turn_timer.get(), &QTimer::timeout, [this] { impl_->Turn(); });
}

QtHost::~QtHost() {
  impl_->turn_timer->stop();
  if (impl_->busy) QApplication::restoreOverrideCursor();
  impl_->tray.reset();
  impl_->form.reset();
}

void QtHost::AttachWindow(FrmFiles* window) {
  impl_->window = window;
  if (window != nullptr && !impl_->form) impl_->Build();
  if (window == nullptr && impl_->form) impl_->form->hide();
}

bool QtHost::AskYesNo(const std::string& title, const std::string& text) {
  if (impl_->answers) {
    const bool answer = impl_->answers->Next();
    PrintMessageBoxLine(title, text, answer ? "yes" : "no");
    return answer;
  }
  QWidget* parent = impl_->form && impl_->form->isVisible() ? impl_->form.get() : nullptr;
  QMessageBox box(QMessageBox::Question, Q(title), Q(text), QMessageBox::Yes | QMessageBox::No,
                  parent);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void QtHost::ShowMessage(const std::string& title, const std::string& text) {
  if (impl_->answers) {
    PrintMessageBoxLine(title, text, "ok");
    return;
  }
  QWidget* parent = impl_->form && impl_->form->isVisible() ? impl_->form.get() : nullptr;
  QMessageBox box(QMessageBox::Information, Q(title), Q(text), QMessageBox::Ok, parent);
  box.exec();
}

void QtHost::SetBusyPointer(bool busy) {
  if (busy == impl_->busy) return;
  impl_->busy = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void QtHost::DoEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  impl_->Turn();
}

int QtHost::RunLoop() {
  if (impl_->quit_requested) return 0;
  impl_->Turn();
  impl_->turn_timer->start();
  QApplication::exec();
  impl_->turn_timer->stop();
  return 0;
}

void QtHost::Quit() {
  impl_->quit_requested = true;
  // exit, not quit: quit first asks every window to close, and the form refuses its close
  // (the close box asks the exit question instead), so the loop would go on.
  QCoreApplication::exit(0);
}

void QtHost::TrayAdd(const std::string& tip) {
  if (!impl_->tray_available) return;
  impl_->tray = std::make_unique<QSystemTrayIcon>(ProgramIcon());
  impl_->tray->setToolTip(Q(tip));
  QObject::connect(impl_->tray.get(), &QSystemTrayIcon::activated,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (impl_->window == nullptr) return;
                     switch (reason) {
                       case QSystemTrayIcon::Trigger:
                         impl_->window->TrayCallback(kTrayLeftButtonUp);
                         break;
                       case QSystemTrayIcon::DoubleClick:
                         impl_->window->TrayCallback(kTrayLeftDoubleClick);
                         break;
                       case QSystemTrayIcon::Context:
                         impl_->window->TrayCallback(kTrayRightButtonUp);
                         break;
                       default:
                         break;
                     }
                     impl_->Render();
                   });
  impl_->tray->show();
}

void QtHost::TrayModify(const std::string& tip) {
  if (impl_->tray) impl_->tray->setToolTip(Q(tip));
}

void QtHost::TrayDelete() {
  if (!impl_->tray) return;
  impl_->tray->hide();
  // Deleted once control is back in the event loop: the exit may be chosen from the icon's own
  // menu, whose signal is still being delivered.
  impl_->tray.release()->deleteLater();
}

bool QtHost::HasTray() const { return impl_->tray_available; }

void QtHost::BringToFront() {
  impl_->Render();
  if (impl_->form && impl_->form->isVisible()) {
    impl_->form->raise();
    impl_->form->activateWindow();
  }
}

int QtHost::PopupMenu(const std::vector<std::string>& items) {
  QMenu menu;
  for (const std::string& item : items) menu.addAction(Q(item));
  QAction* chosen = menu.exec(QCursor::pos());
  if (chosen == nullptr) return -1;
  return static_cast<int>(menu.actions().indexOf(chosen));
}

ScreenMetrics QtHost::Screen() const {
  ScreenMetrics metrics;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect whole = screen->geometry();
    const QRect work = screen->availableGeometry();
    metrics.screen_width = whole.width();
    metrics.screen_height = whole.height();
    metrics.work_left = work.left();
    metrics.work_top = work.top();
    metrics.work_right = work.left() + work.width();
    metrics.work_bottom = work.top() + work.height();
  }
  return metrics;
}

bool QtHost::SaveWindowImage(const std::string& path) {
  if (!impl_->form) return false;
  impl_->Render();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return impl_->form->grab().save(Q(path), "PNG");
}

bool QtHost::WindowShown() const { return impl_->form && impl_->form->isVisible(); }

bool QtHost::ControlShown(ControlId id) const {
  return impl_->form && impl_->Widget<QWidget>(id)->isVisibleTo(impl_->form.get());
}

int QtHost::ClientHeightPixels() const { return impl_->form ? impl_->form->height() : 0; }

bool QtHost::TrayShown() const { return impl_->tray != nullptr && impl_->tray->isVisible(); }

}  // namespace quillmend
