// The window on hostile input: binary and huge files, broken profiles and settings, full disks.
#include <sys/stat.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/text_lines.h"
#include "ui/editor_pane.h"
#include "ui/main_window.h"

namespace quorvane {
namespace {

// Answers the file dialogs from a queue and records every error box.
class ScriptedDesktop : public FileDialogs, public MessageBoxes, public Clock, public UrlOpener {
 public:
  QString OpenFileName(QWidget*, const QString&) override { return next(); }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return next(); }
  void Error(QWidget*, const QString&, const QString& text) override { errors.push_back(text); }
  void Plain(QWidget*, const QString&, const QString&) override {}
  bool AskOkCancel(QWidget*, const QString&, const QString&) override { return true; }
  bool AskYesNo(QWidget*, const QString&, const QString&) override { return true; }
  QDateTime Now() override { return QDateTime(QDate(2025, 3, 6), QTime(14, 5, 9)); }
  void Open(const QUrl&) override {}

  std::deque<QString> files;
  std::vector<QString> errors;

 private:
  QString next() {
    if (files.empty()) return {};
    QString front = files.front();
    files.pop_front();
    return front;
  }
};

class FixedRandom : public RandomSource {
 public:
  int Next() override { return 57; }
};

std::string RandomBytes(std::size_t size, unsigned start) {
  std::mt19937 bytes(start);
  std::string text;
  for (std::size_t i = 0; i < size; ++i) text += static_cast<char>(bytes() % 256);
  return text;
}

class HostileWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    QDir(folder_.path()).mkpath("app");
    QDir(folder_.path()).mkpath("config");
    qputenv("XDG_CONFIG_HOME", path("config").toLocal8Bit());
  }
  void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }

  std::unique_ptr<TForm1> makeWindow() {
    WindowOptions options;
    options.services = Services{desktop_, desktop_, desktop_, desktop_, nullptr};
    options.appDir = path("app").toStdString();
    options.makeRandom = [] { return std::make_unique<FixedRandom>(); };
    return std::make_unique<TForm1>(std::move(options));
  }

  QString path(const QString& name) const { return folder_.path() + '/' + name; }
  void write(const QString& name, const std::string& bytes) const {
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }
  std::string read(const QString& name) const {
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
  }
  void load(TForm1& window, const QString& name) {
    desktop_->files.push_back(path(name));
    QTest::mouseClick(window.bLoad, Qt::LeftButton);
  }

  QTemporaryDir folder_;
  std::shared_ptr<ScriptedDesktop> desktop_ = std::make_shared<ScriptedDesktop>();
};

// Binary bytes load up to the first NUL and survive Fix; a 100 MB line and a million blank
// lines load and repair in seconds.
TEST_F(HostileWindowTest, BinaryAndHugeFilesLoadAndRepair) {
  auto window = makeWindow();
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t destLines;
  };
  const std::string longValue(100 * 1024 * 1024, 'x');
  const Case cases[] = {
      {"image.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), 1},
      // Each repaired record gains the object class a directory needs.
      {"nul.ldif", std::string("dn: cn=A\n\0dn: cn=B\n", 19), 5},
      // How many lines its repair gives is the schema step's business (tested there).
      {"utf8.ldif", "dn: cn=\xC3\x28\xFF\ncn: \xE2\x82\n", 0},
      {"long.ldif", "dn: cn=A\ndescription: " + longValue, 6},
  };
  for (const Case& c : cases) {
    write(c.name, c.bytes);
    load(*window, c.name);
    // The same lines quorvane-fix reads from the file.
    EXPECT_EQ(window->source->Lines(), SplitTextLines(c.bytes)) << c.name;
    QTest::mouseClick(window->suiButton1, Qt::LeftButton);
    if (c.destLines > 0) {
      EXPECT_EQ(window->dest->LineCount(), static_cast<int>(c.destLines)) << c.name;
    } else {
      EXPECT_GT(window->dest->LineCount(), 2) << c.name;
    }
  }
  EXPECT_EQ(window->dest->Line(2), "description: " + longValue);
  // The log says where a NUL byte cut the text short.
  const QString log = window->Memo1->toPlainText();
  EXPECT_TRUE(log.contains(QStringLiteral("line 3: 004: NUL byte in \"%1\"; the rest of the file was not read")
                               .arg(path("image.png"))))
      << log.toStdString();
  EXPECT_TRUE(log.contains(QStringLiteral("line 2: 004: NUL byte in \"%1\"")
                               .arg(path("nul.ldif"))))
      << log.toStdString();

  write("blank.ldif", std::string(1000000, '\n') + "dn:: Y24\n");
  const auto started = std::chrono::steady_clock::now();
  load(*window, "blank.ldif");
  EXPECT_EQ(window->source->LineCount(), 1000001);
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_EQ(window->Memo1->toPlainText().count("001: Base64ToStr: illegal input length!"), 1);
  // Each file cut short at a NUL byte is also said in a box, with the line.
  ASSERT_EQ(desktop_->errors.size(), 2u);
  EXPECT_EQ(desktop_->errors[0], "\"" + path("image.png") +
                                     "\" holds a NUL byte on line 3: only the text before it "
                                     "was loaded.");
  EXPECT_TRUE(desktop_->errors[1].contains("on line 2:")) << desktop_->errors[1].toStdString();
}

// Loading something that is no file, or saving where no file can go, says why and keeps the
// panes; a device is written in place and never replaced.
TEST_F(HostileWindowTest, UnusablePathsKeepThePanes) {
  auto window = makeWindow();
  window->source->ReplaceLines({"kept source"});
  window->dest->ReplaceLines({"kept result"});
  write("plain", "a file, not a directory");

  load(*window, "app");
  ASSERT_EQ(desktop_->errors.size(), 1u);
  EXPECT_EQ(desktop_->errors[0], "Cannot open file \"" + path("app") + "\". Is a directory.");

  desktop_->files.push_back(path("plain/out.ldif"));
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);
  ASSERT_EQ(desktop_->errors.size(), 2u);
  EXPECT_TRUE(desktop_->errors[1].startsWith("Cannot create file \"" + path("plain/out.ldif")))
      << desktop_->errors[1].toStdString();

  desktop_->files.push_back("/dev/full");
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);
  ASSERT_EQ(desktop_->errors.size(), 3u);
  EXPECT_TRUE(desktop_->errors[2].contains("No space left on device"))
      << desktop_->errors[2].toStdString();
  struct stat info {};
  ASSERT_EQ(::stat("/dev/full", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode)) << "/dev/full must stay a device";

  EXPECT_EQ(window->source->Lines(), std::vector<std::string>{"kept source"});
  EXPECT_EQ(window->dest->Lines(), std::vector<std::string>{"kept result"});
  EXPECT_EQ(read("plain"), "a file, not a directory");
}

// A huge profile loads in one pass; a profile of random bytes loads as no rules at all.
TEST_F(HostileWindowTest, ProfilesOfManyKeysOrRandomBytes) {
  std::string many = "[info]\ndescription=many\n[transform]\nmozillasecondemail:=/ignore/:\n";
  for (int i = 0; i < 100000; ++i) many += "key" + std::to_string(i) + ":=/ignore/:\n";
  write("app/many.ini", many);
  write("app/noise.ini", RandomBytes(65536, 7));
  auto window = makeWindow();
  const auto started = std::chrono::steady_clock::now();
  window->cbIni->setCurrentIndex(window->cbIni->findText("many"));
  window->cbIniChange();  // as a choice from the list does
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(window->ldesc->text(), "many");
  EXPECT_EQ(window->transformMap().Lookup("MozillaSecondEmail:"), "/ignore/:");

  window->source->ReplaceLines({"dn: cn=A", "mozillasecondemail: b@x"});
  window->cbIni->setEditText("");
  window->cbIniChange();
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  const std::vector<std::string> withoutProfile = window->dest->Lines();

  window->cbIni->setCurrentIndex(window->cbIni->findText("noise"));
  window->cbIniChange();
  EXPECT_EQ(window->ldesc->text(), "");
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  EXPECT_EQ(window->dest->Lines(), withoutProfile);
  EXPECT_TRUE(desktop_->errors.empty());
}

// A settings file of random bytes neither stops the window nor loses its bytes: the window
// adds its own section and every byte it did not write stays.
TEST_F(HostileWindowTest, SettingsFileOfRandomBytesSurvives) {
  std::string noise = RandomBytes(4096, 3);
  for (char& c : noise) {
    if (c == '[') c = '(';  // no section header, so the window's section is added at the end
  }
  noise += "\n";
  write("config/Quorvane.ini", noise);
  {
    auto window = makeWindow();
    window->show();
    window->eBaseDN->setText("dc=kept");
    window->close();
  }
  const std::string after = read("config/Quorvane.ini");
  EXPECT_EQ(after.substr(0, noise.size()), noise);
  EXPECT_NE(after.find("eBaseDN_Text=dc=kept"), std::string::npos);
  EXPECT_TRUE(desktop_->errors.empty());
  auto window = makeWindow();
  window->show();
  EXPECT_EQ(window->eBaseDN->text(), "dc=kept");
  window->close();
}

}  // namespace
}  // namespace quorvane
