// The main window's widget tests share this: fake desktop services and a window fixture.
#pragma once

#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/editor_pane.h"
#include "ui/main_window.h"

namespace quorvane {
namespace {

// Every desktop service the window uses, answering from queues and recording what was asked.
class FakeDesktop : public FileDialogs,
                    public MessageBoxes,
                    public Clock,
                    public UrlOpener,
                    public PasswordPrompt {
 public:
  std::optional<QString> AskPassword(QWidget*, const QString&, const QString& text) override {
    passwordQuestions.push_back(text);
    const QString answer = take(passwordAnswers);
    if (answer.isNull()) return std::nullopt;
    return answer;
  }
  QString OpenFileName(QWidget*, const QString& preset) override {
    openPresets.push_back(preset);
    return take(openAnswers);
  }
  QString SaveFileName(QWidget*, const QString& preset, const QString& suffix) override {
    savePresets.push_back(preset);
    saveSuffix = suffix;
    return take(saveAnswers);
  }
  void Error(QWidget*, const QString& caption, const QString& text) override {
    errors.push_back(caption + ": " + text);
  }
  void Plain(QWidget*, const QString& caption, const QString& text) override {
    plain.push_back(caption + ": " + text);
  }
  bool AskOkCancel(QWidget*, const QString&, const QString& text) override {
    questions.push_back(text);
    return takeAnswer();
  }
  bool AskYesNo(QWidget*, const QString&, const QString& text) override {
    questions.push_back(text);
    return takeAnswer();
  }
  QDateTime Now() override { return now; }
  void Open(const QUrl& url) override { opened.push_back(url.toString()); }

  std::deque<QString> openAnswers, saveAnswers;
  std::deque<bool> answers;
  std::deque<QString> passwordAnswers;  // a null string cancels
  std::vector<QString> passwordQuestions;
  std::vector<QString> openPresets, savePresets, errors, plain, questions, opened;
  QString saveSuffix;
  QDateTime now{QDate(2025, 3, 6), QTime(14, 5, 9)};

 private:
  static QString take(std::deque<QString>& queue) {
    if (queue.empty()) return {};
    QString front = queue.front();
    queue.pop_front();
    return front;
  }
  bool takeAnswer() {
    if (answers.empty()) return false;
    const bool front = answers.front();
    answers.pop_front();
    return front;
  }
};

class FixedRandom : public RandomSource {
 public:
  int Next() override { return 57; }
};

// Runs dry at the first number asked for, as a broken source of numbers would.
class ExhaustedRandom : public RandomSource {
 public:
  int Next() override { throw std::runtime_error("no numbers left"); }
};

inline std::vector<std::string> Lines(std::initializer_list<const char*> lines) {
  return {lines.begin(), lines.end()};
}

// Each test gets its own profile folder and configuration directory.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    QDir(folder_.path()).mkpath("app");
    QDir(folder_.path()).mkpath("config");
    writeFile("app/test.ini",
              "[info]\ndescription=Drops the second address\n"
              "[transform]\nmozillasecondemail:=/ignore/:\n");
    qputenv("XDG_CONFIG_HOME", (folder_.path() + "/config").toLocal8Bit());
  }

  void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }

  std::unique_ptr<TForm1> makeWindow(
      std::function<std::unique_ptr<RandomSource>()> makeRandom = nullptr) {
    WindowOptions options;
    options.services = Services{desktop_, desktop_, desktop_, desktop_, desktop_};
    options.appDir = (folder_.path() + "/app").toStdString();
    options.loadSchema = loadSchema_;
    options.makeRandom = makeRandom ? std::move(makeRandom)
                                    : [] { return std::make_unique<FixedRandom>(); };
    return std::make_unique<TForm1>(std::move(options));
  }

  QString path(const QString& name) const { return folder_.path() + '/' + name; }

  void writeFile(const QString& name, const QByteArray& bytes) const {
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  QByteArray readFile(const QString& name) const {
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }

  static void dropFiles(EditorPane* pane, const QStringList& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& file : files) urls.push_back(QUrl::fromLocalFile(file));
    mime.setUrls(urls);
    // Qt delivers a drop to the widget that accepted the drag's entry.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pane->viewport(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pane->viewport(), &drop);
  }

  static QStringList listed(const TForm1& window) {
    QStringList names;
    for (int i = 0; i < window.cbIni->count(); ++i) names << window.cbIni->itemText(i);
    return names;
  }

  // The stock profile and the longer name that starts with it, each with rules of its own.
  void writeStockProfiles() const {
    writeFile("app/openldap-stock-business-card.ini",
              "[info]\ndescription=Business card\n[transform]\nhomephone:=/ignore/:\n"
              "description:=/ignore/:\n");
    writeFile("app/openldap-stock.ini",
              "[info]\ndescription=Stock schemas\n[transform]\nmozillanickname:=description:\n");
  }

  // Types go to the profile field as they would from the keyboard: into the active window's
  // focus, where the field's completer sees them.
  static QLineEdit* focusProfileField(TForm1& window) {
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    QLineEdit* edit = window.cbIni->lineEdit();
    edit->setFocus();
    EXPECT_TRUE(edit->hasFocus());
    return edit;
  }

  // Settles the layout and any posted events, as the event loop would between two actions.
  static void settle(TForm1&) {
    // A layout request climbs one parent per round of posted events.
    for (int round = 0; round < 10; ++round) QCoreApplication::processEvents();
  }

  QTemporaryDir folder_;
  SchemaLoader loadSchema_;  // empty: LoadSchema itself
  std::shared_ptr<FakeDesktop> desktop_ = std::make_shared<FakeDesktop>();
};

}  // namespace
}  // namespace quorvane
