// The fixture of the wizard's widget tests: a fresh wizard per test on the offscreen platform, with scripted
// dialogs, no event-processing delay in Yield, and a recorded end of the program instead of a real one.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <memory>

#include "status/look.h"
#include "status/status_window.h"
#include "status/testing/offscreen_app.h"
#include "status/testing/scripted_desktop.h"
#include "wizard/multiple_page.h"
#include "wizard/single_page.h"
#include "wizard/start_pages.h"
#include "wizard/window_host.h"
#include "wizard/wizard.h"

namespace velmora::wizard {

class WizardTest : public ::testing::Test {
 protected:
  WizardTest() {
    status::testing::OffscreenApp();
    wizard_ = std::make_unique<Wizard>(desktop_);
    wizard_->end_process = [this] { ++ended_; };
    wizard_->host().yield_interval_ms = 0;
  }
  ~WizardTest() override { wizard_.reset(); }

  // Writes a small .eml message at `path`.
  static void WriteMessage(const std::filesystem::path& path, const std::string& subject) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << "From: Alice Example <alice@example.com>\r\n"
           "To: Bob Example <bob@example.org>\r\n"
           "Subject: "
        << subject
        << "\r\n"
           "Date: Mon, 1 Jan 2024 10:00:00 +0000\r\n"
           "Message-ID: <"
        << subject
        << "@velmora.test>\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n"
           "\r\n"
           "Body of "
        << subject << "\r\n";
  }

  // Mailbox folder `root`/`name` with `inbox` messages in Inbox and `sent` in Sent.
  static std::filesystem::path MakeMailbox(const std::filesystem::path& root, const std::string& name,
                                           int inbox, int sent) {
    const auto mailbox = root / name;
    std::filesystem::create_directories(mailbox);
    for (int i = 0; i < inbox; ++i)
      WriteMessage(mailbox / "Inbox" / (std::to_string(i) + ".eml"), name + "-in-" + std::to_string(i));
    for (int i = 0; i < sent; ++i)
      WriteMessage(mailbox / "Sent" / (std::to_string(i) + ".eml"), name + "-sent-" + std::to_string(i));
    return mailbox;
  }

  // Where the tests leave their screenshots: the working folder ctest runs them in.
  static QString ScreenshotPath(const std::string& name) {
    const std::filesystem::path dir = std::filesystem::current_path() / "wizard-screenshots";
    std::filesystem::create_directories(dir);
    return QString::fromStdString((dir / name).string());
  }

  int CountBoxes(const QString& title) const {
    int n = 0;
    for (const auto& box : desktop_.boxes) n += box.title == title ? 1 : 0;
    return n;
  }

  status::testing::ScriptedDesktop desktop_;
  std::unique_ptr<Wizard> wizard_;
  int ended_ = 0;
};

}  // namespace velmora::wizard
