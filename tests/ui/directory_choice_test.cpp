// Tests of the Directory choice through the window: the schema Fix uses, reading it beside the
// window, what a schema that cannot be read does, the password and the settings section.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

#include <atomic>
#include <future>
#include <mutex>

#include "platform/ini_file.h"
#include "tests/ui/main_window_fixture.h"

namespace quorvane {
namespace {

class DirectoryChoiceTest : public MainWindowTest {
 protected:
  void TearDown() override {
    open();  // a reading still waiting must end before its window does
    MainWindowTest::TearDown();
  }

  // A loader that records what it was asked and answers once the test opens the gate.
  void useGatedLoader(std::string error = {}) {
    loadSchema_ = [this, error, gate = gate_.get_future().share()](
                      const std::vector<std::string>& sources, const ServerAccess& access) {
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        asked_.push_back(sources);
        access_ = access;
      }
      ++calls_;
      gate.wait();
      if (!error.empty()) return SchemaLoad{Schema(), {}, error};
      return LoadSchema({"builtin"}, ServerAccess());
    };
  }
  void open() {
    if (!opened_) gate_.set_value();
    opened_ = true;
  }

  static void choose(TForm1& window, DirectoryChoice::Kind kind) {
    const int index = static_cast<int>(kind);
    window.directory->cbDirectory->setCurrentIndex(index);
    emit window.directory->cbDirectory->activated(index);
  }
  static QString heading(const TForm1& window) {
    return window.Memo1->toPlainText().split('\n').filter(QRegularExpression("^---- Fix")).last();
  }

  std::promise<void> gate_;
  bool opened_ = false;
  std::mutex mutex_;
  std::vector<std::vector<std::string>> asked_;
  ServerAccess access_;
  std::atomic<int> calls_{0};
};

// Fix checks against the built-in schema by default; "none" runs without schema checks.
TEST_F(DirectoryChoiceTest, BuiltInSchemaByDefaultAndNoneChecksNothing) {
  auto window = makeWindow();
  window->show();
  EXPECT_EQ(window->directory->kind(), DirectoryChoice::Kind::kBuiltin);
  window->source->ReplaceLines(Lines({"dn: cn=A", "cn: A", "sn: A", "birthyear: 1970"}));
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  EXPECT_TRUE(heading(*window).endsWith("directory: the built-in OpenLDAP schema"));
  EXPECT_FALSE(window->dest->TextView().find("birthyear") != std::string_view::npos)
      << "an attribute the schema does not know is dropped";

  choose(*window, DirectoryChoice::Kind::kNone);
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  EXPECT_TRUE(heading(*window).endsWith("directory: none (no schema checks)"));
  EXPECT_NE(window->dest->TextView().find("birthyear: 1970"), std::string_view::npos);
  EXPECT_EQ(calls_, 0) << "neither choice reads anything";
}

// A schema file is read beside the window once it is chosen; Fix waits for it, the window
// goes on meanwhile, and a second Fix does not read it again.
TEST_F(DirectoryChoiceTest, SchemaFileIsReadBesideTheWindowAndFixWaitsForIt) {
  useGatedLoader();
  auto window = makeWindow();
  window->show();
  window->source->ReplaceLines(Lines({"dn: cn=A", "cn: A", "sn: A"}));
  desktop_->openAnswers.push_back(path("extra.schema"));
  choose(*window, DirectoryChoice::Kind::kBuiltinAndFile);
  QTRY_COMPARE(calls_.load(), 1);
  EXPECT_EQ(window->directory->eDirectory->text(), path("extra.schema"));
  EXPECT_TRUE(window->directory->Reading());
  EXPECT_TRUE(window->statusbar->currentMessage().startsWith("Reading the schema of " +
                                                             path("extra.schema")));

  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  const QString waiting = "Fix waits until the built-in schema and " + path("extra.schema") + " is read";
  EXPECT_EQ(window->statusbar->currentMessage(), waiting);
  EXPECT_EQ(window->dest->Lines(), Lines({""})) << "nothing ran yet";
  window->source->setFocus();
  QTest::keyClicks(window->source, "# ");
  EXPECT_EQ(window->source->Line(0), "# dn: cn=A") << "the window answers while it waits";
  QTRY_VERIFY_WITH_TIMEOUT(window->statusbar->currentMessage().startsWith(
                               "Fix waits: Reading the schema of " + path("extra.schema") + "... "),
                           3000);

  open();
  QTRY_VERIFY(window->dest->LineCount() > 2);
  EXPECT_TRUE(heading(*window).endsWith("directory: the built-in schema and " + path("extra.schema")));
  EXPECT_TRUE(window->directory->lDirectory->text().startsWith("Read: "));
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_EQ(asked_, (std::vector<std::vector<std::string>>{
                          {"builtin", path("extra.schema").toStdString()}}));
  }
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  EXPECT_EQ(calls_, 1) << "read once, not at every Fix";
}

// A schema that cannot be read is said where the choice is, and Fix does not run against it.
TEST_F(DirectoryChoiceTest, SchemaThatCannotBeReadIsSaidAndFixDoesNotRun) {
  useGatedLoader("Cannot open file \"/nowhere.schema\". No such file or directory");
  open();
  auto window = makeWindow();
  window->show();
  window->dest->ReplaceLines(Lines({"earlier result"}));
  window->source->ReplaceLines(Lines({"dn: cn=A", "cn: A"}));
  window->directory->Choose(DirectoryChoice::Kind::kBuiltinAndFile, "/nowhere.schema", "");
  QTRY_VERIFY(window->directory->Failed());
  EXPECT_EQ(window->directory->lDirectory->text(),
            "Cannot read the schema: Cannot open file \"/nowhere.schema\". No such file or directory");
  EXPECT_TRUE(window->directory->lDirectory->isVisible());

  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  EXPECT_TRUE(window->statusbar->currentMessage().startsWith(
      "Fix did not run: the built-in schema and /nowhere.schema could not be read: Cannot open"));
  EXPECT_EQ(window->dest->Lines(), Lines({"earlier result"}));
  EXPECT_FALSE(window->Memo1->toPlainText().contains("---- Fix of"));
}

// A server's bind DN brings the password question; the choice is remembered in [Directory]
// and read again at the next start, the password never.
TEST_F(DirectoryChoiceTest, ServerPasswordIsAskedNeverStoredAndTheChoiceComesBack) {
  useGatedLoader();
  open();
  {
    auto window = makeWindow();
    window->show();
    desktop_->passwordAnswers = {"s3cret"};
    window->directory->Choose(DirectoryChoice::Kind::kServer, "ldap://127.0.0.1:3899",
                              "cn=admin,dc=test");
    QTRY_VERIFY(!window->directory->Reading());
    EXPECT_EQ(desktop_->passwordQuestions,
              std::vector<QString>{"Password of cn=admin,dc=test on ldap://127.0.0.1:3899:"});
    const std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_EQ(asked_.back(), std::vector<std::string>{"ldap://127.0.0.1:3899"});
    EXPECT_EQ(access_.bindDN, "cn=admin,dc=test");
    EXPECT_EQ(access_.password, "s3cret");
  }
  const QByteArray stored = readFile("config/Quorvane.ini");
  EXPECT_TRUE(stored.contains("[Directory]\nChoice=server\nLocation=ldap://127.0.0.1:3899\n"
                              "BindDN=cn=admin,dc=test\n"))
      << stored.toStdString();
  EXPECT_FALSE(stored.contains("s3cret"));
  EXPECT_EQ(ReadIniFile(path("config/Quorvane.ini").toStdString()).SectionKeys("Settings").size(),
            4u);

  // At the next start the server is read again; a cancelled password reads nothing.
  auto window = makeWindow();
  window->show();
  EXPECT_EQ(window->directory->kind(), DirectoryChoice::Kind::kServer);
  EXPECT_EQ(desktop_->passwordQuestions.size(), 2u);
  EXPECT_TRUE(window->directory->Failed());
  EXPECT_EQ(window->directory->Problem(), "No password given for cn=admin,dc=test");
  EXPECT_EQ(calls_, 1);
}

}  // namespace
}  // namespace quorvane
