#pragma once
// Driving modal dialogs from a test: steps run inside a dialog's modal run,
// one per turn of the event loop, and message boxes answered as they come.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/dialog.h"

namespace lvtest {

inline constexpr int kStoppedByGuard = -9;  // the result of a run the test had to stop

class ModalScript {
 public:
  using Step = std::function<void()>;

  ModalScript() = default;
  ~ModalScript() { *m_alive = false; }  // pending steps become no-ops
  ModalScript(const ModalScript&) = delete;
  ModalScript& operator=(const ModalScript&) = delete;

  // Runs steps inside dlg's next modal run, once it has begun. Steps after
  // the one that ended the run are dropped.
  void Inside(lv::CDialog& dlg, std::vector<Step> steps) {
    m_known.push_back(&dlg);
    auto state = std::make_shared<State>(State{std::move(steps), 0, false, 0});
    Tick(dlg, state);
  }

  // Runs dlg modally with steps inside it; a run the steps forget to end is
  // stopped after a while with kStoppedByGuard. Completed() tells afterwards
  // whether the last step was reached (no earlier step ended the run).
  std::intptr_t Run(lv::CDialog& dlg, std::vector<Step> steps) {
    *m_completed = false;
    if (!steps.empty()) {
      steps.back() = [done = m_completed, last = std::move(steps.back())] {
        *done = true;
        last();
      };
    }
    Inside(dlg, std::move(steps));
    // A failing test must not hang: every so often, every dialog the script
    // knows that still runs is stopped (innermost runs end first).
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [this] {
      for (lv::CDialog* d : m_known)
        if (d->IsRunning()) d->EndDialog(kStoppedByGuard);
    });
    guard.start(20000);
    const std::intptr_t result = dlg.DoModal();
    m_known.clear();
    return result;
  }

  bool Completed() const { return *m_completed; }

  // Answers the next message box with OK, keeping its text.
  void AnswerMessageBox(std::u16string* text, int triesLeft = 2000) {
    QTimer::singleShot(1, [this, alive = m_alive, text, triesLeft] {
      if (!*alive) return;
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->isVisible()) {
          if (text) *text = box->text().toStdU16String();
          box->accept();
          return;
        }
      }
      if (triesLeft > 0) AnswerMessageBox(text, triesLeft - 1);
    });
  }

 private:
  struct State {
    std::vector<Step> steps;
    std::size_t next;
    bool started;
    int waits;
  };

  void Tick(lv::CDialog& dlg, std::shared_ptr<State> state) {
    QTimer::singleShot(0, [this, alive = m_alive, &dlg, state] {
      if (!*alive || state->next >= state->steps.size()) return;
      // A message box over the dialog (its set-up may show one) runs first.
      if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        Tick(dlg, state);
        return;
      }
      if (!dlg.IsRunning()) {
        // Not begun yet: wait for it (a while); ended: drop the rest.
        if (state->started || ++state->waits > 5000) return;
        Tick(dlg, state);
        return;
      }
      state->started = true;
      state->steps[state->next++]();
      Tick(dlg, state);
    });
  }

  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  std::shared_ptr<bool> m_completed = std::make_shared<bool>(false);
  std::vector<lv::CDialog*> m_known;  // the dialogs of the run in progress
};

}  // namespace lvtest
