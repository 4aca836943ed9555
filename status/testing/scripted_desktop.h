// A Desktop for the widget tests: message boxes, folder picks and save dialogs are answered from scripts
// and recorded; opened targets are recorded, nothing is opened.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

#include "status/desktop.h"

namespace velmora::status::testing {

class ScriptedDesktop : public Desktop {
 public:
  struct Box {
    QString text;
    QString title;
    MessageBoxButtons buttons;
    MessageBoxIcon icon;
  };

  // Answers in order. Unscripted: OK for an OK box, No for a Yes/No box, cancel for pickers and dialogs.
  std::deque<MessageBoxAnswer> answers;
  std::deque<QString> picks;
  std::deque<QString> saves;  // an empty entry is a cancel
  QString desktop_folder = QStringLiteral("/home/user/Desktop");
  // Runs when a message box comes up, before it is answered (a test can look at the windows then).
  std::function<void(const Box&)> on_box;
  // When set, answers every box (before the `answers` queue is consulted).
  std::function<MessageBoxAnswer(const Box&)> respond;

  std::vector<Box> boxes;
  QStringList opened;
  QStringList pick_titles;
  QStringList save_proposals;

  MessageBoxAnswer MessageBox(QWidget*, const QString& text, const QString& title, MessageBoxButtons buttons,
                              MessageBoxIcon icon) override {
    boxes.push_back({text, title, buttons, icon});
    if (on_box) on_box(boxes.back());
    if (respond) return respond(boxes.back());
    if (!answers.empty()) {
      const auto answer = answers.front();
      answers.pop_front();
      return answer;
    }
    return buttons == MessageBoxButtons::kYesNo ? MessageBoxAnswer::kNo : MessageBoxAnswer::kOk;
  }
  // Whether ShellOpen finds a handler.
  bool can_open = true;
  bool ShellOpen(const QString& target) override {
    if (!target.isEmpty()) opened.push_back(target);
    return can_open;
  }
  QString PickFolder(QWidget*, const QString& title) override {
    pick_titles.push_back(title);
    if (picks.empty()) return {};
    QString pick = picks.front();
    picks.pop_front();
    return pick;
  }
  std::optional<QString> SaveFileName(QWidget*, const QString& proposed_name, const QString&) override {
    save_proposals.push_back(proposed_name);
    if (saves.empty()) return std::nullopt;
    const QString answer = saves.front();
    saves.pop_front();
    if (answer.isEmpty()) return std::nullopt;
    return answer;
  }
  QString DesktopFolder() override { return desktop_folder; }
};

}  // namespace velmora::status::testing
