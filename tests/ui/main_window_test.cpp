// Tests of the main window's commands, file drop, log and remembered settings.
#include "ui/main_window.h"

#include <QComboBox>
#include <QCompleter>
#include <QDropEvent>
#include <QFile>
#include <QAbstractItemView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/editor_pane.h"
#include "ui/form_storage.h"
#include "tests/ui/main_window_fixture.h"

namespace quorvane {
namespace {

TEST_F(MainWindowTest, FixRepairsTheSourceIntoTheResultPane) {
  writeFile("config/Quorvane.ini", "[Settings]\ncbIni_Text=test\n");
  auto window = makeWindow();
  EXPECT_TRUE(window->transformMap().empty());
  window->show();
  // The restored profile is loaded as the window is shown.
  EXPECT_EQ(window->transformMap().Lookup("MozillaSecondEmail:"), "/ignore/:");
  EXPECT_EQ(window->ldesc->text(), "Drops the second address");

  window->eBaseDN->setText("dc=contacts,dc=test");
  window->source->ReplaceLines(Lines({
      "dn: cn=John Doe,mail=ADDRESS", "objectclass: top", "objectclass: person",
      "objectclass: inetOrgPerson", "sn: Doe", "cn: John Doe", "mail: ADDRESS", "description:",
      "mozillasecondemail: OTHER", "", "dn:: Y249Sm9obiBEb2UsbWFpbD1BRERSRVNT",
      "objectclass: top", "objectclass: inetOrgPerson", "cn: John Doe", "description: True"}));
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);

  EXPECT_EQ(window->dest->Lines(),
            Lines({"dn: cn=John Doe+mail=ADDRESS,dc=contacts,dc=test", "objectclass: top",
                   "objectclass: person", "objectclass: inetOrgPerson", "sn: Doe",
                   "cn: John Doe", "mail: ADDRESS", "",
                   "dn: cn=John Doe057+mail=ADDRESS,dc=contacts,dc=test",
                   "objectclass: inetOrgPerson", "cn: John Doe057", "description: TRUE",
                   "sn: John Doe", "mail: ADDRESS", ""}));
  ASSERT_EQ(window->usedDNs().size(), 2u);
  EXPECT_EQ(window->usedDNs()[0], "dn: cn=John Doe+mail=ADDRESS");
  EXPECT_EQ(window->usedDNs()[1], "dn: cn=John Doe057+mail=ADDRESS");
  // Progress never reaches the log pane: the run's heading opens its part, the summary ends
  // it and stays in the status bar.
  const QStringList log = window->Memo1->toPlainText().split('\n');
  ASSERT_EQ(log.size(), 2);
  EXPECT_EQ(log[0], "---- Fix of pasted text with profile \"test\"; directory: the built-in "
                    "OpenLDAP schema");
  EXPECT_TRUE(log[1].startsWith("Fixed "));
  EXPECT_TRUE(log[1].endsWith("; profile \"test\"")) << log[1].toStdString();
  EXPECT_EQ(window->statusbar->currentMessage(), log[1]);
  EXPECT_TRUE(desktop_->errors.empty());
}

TEST_F(MainWindowTest, FixThatFailsPartWayKeepsTheResultPane) {
  auto window = makeWindow([] { return std::make_unique<ExhaustedRandom>(); });
  window->dest->ReplaceLines({"previous result"});
  QTest::keyClicks(window->dest, "edited ");
  // Several megabytes of output reach the pane's builder before the last record, whose DN
  // repeats the first one, asks for a number.
  std::vector<std::string> book;
  for (int i = 0; i < 60000; ++i) {
    book.push_back("dn: cn=Person " + std::to_string(i) + ",mail=p" + std::to_string(i));
    book.push_back("cn: Person " + std::to_string(i));
    book.push_back("");
  }
  book.push_back("dn: cn=Person 0,mail=p0");
  window->source->ReplaceLines(book);
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);

  EXPECT_EQ(desktop_->errors, std::vector<QString>{"Quorvane: no numbers left."});
  EXPECT_EQ(window->dest->Lines(), Lines({"edited previous result"}));
  EXPECT_TRUE(window->dest->IsModified());
  EXPECT_EQ(window->dest->UndoSteps(), 1);
  window->dest->undo();
  EXPECT_EQ(window->dest->Lines(), Lines({"previous result"}));

  // The window goes on: a run that needs no number fills the pane.
  book.pop_back();
  window->source->ReplaceLines(book);
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  EXPECT_EQ(desktop_->errors.size(), 1u);
  EXPECT_GT(window->dest->LineCount(), 3 * 60000);
  EXPECT_EQ(window->dest->Line(0).rfind("dn: cn=Person 0+mail=p0,", 0), 0u) << window->dest->Line(0);
}

TEST_F(MainWindowTest, FixReadsTheSourceLinesAsThePaneShowsThem) {
  // A line set by the program may hold a CR, which the pane shows as a line break, or a NUL,
  // which ends a line for the repair; each must repair as the lines written out would.
  struct Case {
    const char* name;
    std::vector<std::string> held, written;
  };
  const Case cases[] = {
      {"CrInALine", {"dn: cn=a", "cn: a\rsn: b", "mail: m"}, {"dn: cn=a", "cn: a", "sn: b", "mail: m"}},
      {"CrLfInALine", {"dn: cn=a", "cn: a\r\nsn: b"}, {"dn: cn=a", "cn: a", "sn: b"}},
      {"NulInALine", {"dn: cn=a", std::string("cn: a\0sn: b", 11)}, {"dn: cn=a", "cn: a", "sn: b"}},
      {"TabsAndControlBytes", {"dn: cn=a", "cn: a\tb\x01\x0c", "sn: b"}, {"dn: cn=a", "cn: a\tb\x01\x0c", "sn: b"}},
  };
  auto window = makeWindow();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    window->source->ReplaceLines(c.written);
    QTest::mouseClick(window->suiButton1, Qt::LeftButton);
    const std::vector<std::string> expected = window->dest->Lines();
    window->source->ReplaceLines(c.held);
    QTest::mouseClick(window->suiButton1, Qt::LeftButton);
    EXPECT_EQ(window->dest->Lines(), expected);
    EXPECT_GT(expected.size(), 2u);
  }
  EXPECT_TRUE(desktop_->errors.empty());
}

TEST_F(MainWindowTest, DecodingErrorGoesToStatusBarAndLogPane) {
  auto window = makeWindow();
  window->show();
  window->source->ReplaceLines(Lines({"", "dn:: abc", "cn: X"}));
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  const QString expected = "line 2: 001: Base64ToStr: illegal input length!";
  QStringList log = window->Memo1->toPlainText().split('\n');
  ASSERT_EQ(log.size(), 3);
  EXPECT_TRUE(log[0].startsWith("---- Fix of "));
  EXPECT_EQ(log[1], expected);
  EXPECT_TRUE(log[2].startsWith("Fixed ")) << "the summary comes after the run's messages";
  EXPECT_EQ(window->statusbar->currentMessage(), log[2]) << "the latest message shows";

  window->source->ReplaceLines(Lines({"dn:: abcde"}));
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  log = window->Memo1->toPlainText().split('\n');
  ASSERT_EQ(log.size(), 6) << "each run and each error is a new line of the log";
  EXPECT_TRUE(log[3].startsWith("---- Fix of "));
  EXPECT_EQ(log[4], "line 1: 001: Base64ToStr: illegal input length!");
  EXPECT_TRUE(log[5].startsWith("Fixed "));
}

// The summary's own format is engine/repair_counts.cpp's; the window shows it unchanged.
TEST_F(MainWindowTest, RunSummaryGoesToStatusBarAndLastLineOfTheLog) {
  auto window = makeWindow();
  window->Memo1->setPlainText("line 9: 002: earlier message");
  window->ShowRunSummary(RepairCounts{2000, 2000, 37, 4});
  const QString line =
      "Fixed 2,000 records (2,000 written): 37 DNs made unique, 4 records no directory accepts "
      "(see log); no profile";
  EXPECT_EQ(window->statusbar->currentMessage(), line);
  EXPECT_EQ(window->Memo1->toPlainText(), "line 9: 002: earlier message\n" + line);
}

TEST_F(MainWindowTest, FixEndsWithASummaryLine) {
  auto window = makeWindow();
  window->show();
  window->source->ReplaceLines(Lines({"dn: cn=A", "cn: A", "", "dn: cn=A", "cn: A"}));
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  const QRegularExpression summary(
      "^Fixed [0-9][0-9,]* records? \\([0-9][0-9,]* written\\): [0-9][0-9,]* DNs? made unique, "
      "[0-9][0-9,]* records? no directory accepts( \\(see log\\))?; no profile$");
  const QStringList log = window->Memo1->toPlainText().split('\n');
  EXPECT_TRUE(summary.match(log.back()).hasMatch()) << log.back().toStdString();
  EXPECT_EQ(window->statusbar->currentMessage(), log.back());
}

// A book of seven records: three with the same DN (two made unique) and three that no
// directory accepts (an empty DN, a list without members, a Base64 DN that does not decode).
// Needs the run's counts (RepairRun::Counts) wired into the Fix handler.
TEST_F(MainWindowTest, FixSummaryCountsTheBook) {
  auto window = makeWindow();
  window->show();
  window->source->ReplaceLines(Lines({
      "dn: cn=Jane Roe,mail=jane@example.org", "cn: Jane Roe", "mail: jane@example.org", "",
      "dn: cn=Jane Roe,mail=jane@example.org", "cn: Jane Roe", "mail: jane@example.org", "",
      "dn: cn=Jane Roe,mail=jane@example.org", "cn: Jane Roe", "mail: jane@example.org", "",
      "dn:", "cn: Nobody", "",
      "dn: cn=Friends", "objectclass: groupOfNames", "cn: Friends", "",
      "dn:: abc", "cn: Broken", "",
      "dn: cn=John Doe,mail=john@example.org", "cn: John Doe"}));
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  const QString line =
      "Fixed 7 records (7 written): 2 DNs made unique, 3 records no directory accepts (see log); "
      "no profile";
  const QString log = window->Memo1->toPlainText();
  EXPECT_TRUE(log.contains("line 13: 002: ")) << log.toStdString();
  EXPECT_TRUE(log.contains("line 16: 003: ")) << log.toStdString();
  EXPECT_TRUE(log.contains("line 20: 001: ")) << log.toStdString();
  EXPECT_EQ(log.split('\n').back().toStdString(), line.toStdString());
  EXPECT_EQ(window->statusbar->currentMessage().toStdString(), line.toStdString());
}

TEST_F(MainWindowTest, SaveOffersTimeStampedNameBesideTheSource) {
  struct Case {
    const char* fileName;
    const char* offered;
  };
  const Case cases[] = {
      {"/home/u/exports/book.ldif", "/home/u/exports/book 2025-03-06_14-05-09.ldif"},
      {"data", "data 2025-03-06_14-05-09.ldif"},
      {"", " 2025-03-06_14-05-09.ldif"},
      {"archive.tar.gz", "archive.tar 2025-03-06_14-05-09.ldif"},
      {"/home/u/my.books/book", "/home/u/my.books/book 2025-03-06_14-05-09.ldif"},
  };
  auto window = makeWindow();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fileName);
    window->eFilename->setText(c.fileName);
    QTest::mouseClick(window->suiButton2, Qt::LeftButton);  // cancelled: nothing written
    ASSERT_FALSE(desktop_->savePresets.empty());
    EXPECT_EQ(desktop_->savePresets.back(), c.offered);
  }
  EXPECT_EQ(desktop_->saveSuffix, "ldif");
  EXPECT_TRUE(desktop_->errors.empty());
}

TEST_F(MainWindowTest, SaveCreatesMissingDirectoriesAndWritesCrLfLines) {
  auto window = makeWindow();
  window->dest->ReplaceLines(Lines({"dn: cn=A", "cn: A", ""}));
  desktop_->saveAnswers.push_back(path("new/sub/out.ldif"));
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);
  EXPECT_EQ(readFile("new/sub/out.ldif"), "dn: cn=A\r\ncn: A\r\n\r\n");
  EXPECT_TRUE(desktop_->questions.empty()) << "a new file needs no question";
  EXPECT_TRUE(desktop_->errors.empty());
}

TEST_F(MainWindowTest, SaveAsksBeforeReplacingAnExistingFile) {
  auto window = makeWindow();
  window->dest->ReplaceLines(Lines({"new"}));
  writeFile("out.ldif", "old\r\n");

  desktop_->saveAnswers = {path("out.ldif"), path("out.ldif")};
  desktop_->answers = {false, true};
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);
  EXPECT_EQ(readFile("out.ldif"), "old\r\n") << "No keeps the file";
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);
  EXPECT_EQ(readFile("out.ldif"), "new\r\n") << "Yes replaces it";
  ASSERT_EQ(desktop_->questions.size(), 2u);
  EXPECT_TRUE(desktop_->questions[0].contains("out.ldif already exists"));
}

TEST_F(MainWindowTest, FailedSaveIsReportedAndKeepsTheResult) {
  auto window = makeWindow();
  window->dest->ReplaceLines(Lines({"kept"}));
  desktop_->saveAnswers.push_back(path("app"));  // a directory cannot become the file
  desktop_->answers = {true};
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);
  ASSERT_EQ(desktop_->errors.size(), 1u);
  EXPECT_TRUE(desktop_->errors[0].startsWith("Quorvane: Cannot create file \"" + path("app")))
      << desktop_->errors[0].toStdString();
  EXPECT_EQ(window->dest->Lines(), Lines({"kept"}));
}

TEST_F(MainWindowTest, LoadStartsFromTheFileNameThenRemembersItsOwnChoice) {
  writeFile("one.ldif", "dn: cn=One\r\n");
  writeFile("two.ldif", "dn: cn=Two\r\n");
  auto window = makeWindow();
  window->eFilename->setText(path("one.ldif"));
  desktop_->openAnswers = {path("two.ldif"), QString()};
  QTest::mouseClick(window->bLoad, Qt::LeftButton);
  EXPECT_EQ(window->source->Lines(), Lines({"dn: cn=Two"}));
  EXPECT_EQ(window->eFilename->text(), path("two.ldif"));

  window->eFilename->setText("typed.ldif");
  QTest::mouseClick(window->bLoad, Qt::LeftButton);  // cancelled
  EXPECT_EQ(desktop_->openPresets,
            (std::vector<QString>{path("one.ldif"), path("two.ldif")}));
  EXPECT_EQ(window->eFilename->text(), "typed.ldif") << "cancel changes nothing";
}

TEST_F(MainWindowTest, FailedLoadKeepsPaneAndFileName) {
  auto window = makeWindow();
  window->source->ReplaceLines(Lines({"kept"}));
  window->eFilename->setText("before.ldif");
  desktop_->openAnswers.push_back(path("missing.ldif"));
  QTest::mouseClick(window->bLoad, Qt::LeftButton);
  ASSERT_EQ(desktop_->errors.size(), 1u);
  EXPECT_TRUE(desktop_->errors[0].startsWith("Quorvane: Cannot open file \"" + path("missing.ldif")));
  EXPECT_TRUE(desktop_->errors[0].endsWith("."));
  EXPECT_EQ(window->source->Lines(), Lines({"kept"}));
  EXPECT_EQ(window->eFilename->text(), "before.ldif");
}

TEST_F(MainWindowTest, DropOnUnmodifiedSourceLoadsWithoutQuestion) {
  writeFile("a.ldif", "dn: cn=A\n");
  auto window = makeWindow();
  window->show();
  window->eFilename->setText("book.ldif");
  dropFiles(window->source, {path("a.ldif")});
  EXPECT_EQ(window->source->Lines(), Lines({"dn: cn=A"}));
  EXPECT_TRUE(desktop_->questions.empty());
  EXPECT_EQ(window->eFilename->text(), "book.ldif");
  EXPECT_EQ(window->statusbar->currentMessage(), "file " + path("a.ldif"));
}

TEST_F(MainWindowTest, DropOnModifiedSourceAsksForEachFileUntilOneLoads) {
  writeFile("a.ldif", "dn: cn=A\n");
  writeFile("b.ldif", "dn: cn=B\n");
  auto window = makeWindow();
  window->show();
  window->source->setFocus();
  QTest::keyClick(window->source, Qt::Key_X);
  ASSERT_TRUE(window->source->IsModified());

  desktop_->answers = {false, false};
  dropFiles(window->source, {path("a.ldif"), path("b.ldif")});
  EXPECT_EQ(window->source->Lines(), Lines({"x"})) << "Cancel keeps the text";
  EXPECT_EQ(desktop_->questions.size(), 2u);
  EXPECT_EQ(desktop_->questions[0],
            "Current file is modified. Do you want to load new file anyway?");

  desktop_->questions.clear();
  desktop_->answers = {true};
  dropFiles(window->source, {path("a.ldif"), path("b.ldif")});
  EXPECT_EQ(window->source->Lines(), Lines({"dn: cn=B"}));
  EXPECT_EQ(desktop_->questions.size(), 1u) << "once loaded, the pane is no longer modified";
}

TEST_F(MainWindowTest, DropOfUnreadableFileEndsTheDropAndKeepsThePane) {
  writeFile("b.ldif", "dn: cn=B\n");
  auto window = makeWindow();
  window->show();
  window->source->setFocus();
  QTest::keyClick(window->source, Qt::Key_X);
  desktop_->answers = {true, true};
  dropFiles(window->source, {path("missing.ldif"), path("b.ldif")});
  ASSERT_EQ(desktop_->errors.size(), 1u);
  EXPECT_TRUE(desktop_->errors[0].startsWith("Quorvane: Cannot open file \"" + path("missing.ldif")));
  EXPECT_EQ(window->source->Lines(), Lines({"x"}));
  EXPECT_TRUE(window->source->IsModified());
  EXPECT_EQ(desktop_->questions.size(), 1u) << "the files after the failed one are not handled";
}

TEST_F(MainWindowTest, SettingsComeBackAtTheNextStart) {
  {
    auto window = makeWindow();
    window->show();
    EXPECT_EQ(window->eBaseDN->text(), "dc=contacts,dc=example,dc=com");
    EXPECT_EQ(readFile("config/Quorvane.ini"), "<missing>");
    window->eBaseDN->setText("  dc=people,dc=test  ");
    window->eFilename->setText("/books/my book.ldif");
    window->cbIni->setEditText("test");
    QTest::mouseClick(window->suiButton5, Qt::LeftButton);  // Close
    EXPECT_FALSE(window->isVisible());
  }
  EXPECT_EQ(readFile("config/Quorvane.ini").toStdString(),
            "[Settings]\nFormVersion=0\neBaseDN_Text=dc=people,dc=test\n"
            "eFilename_Text=/books/my book.ldif\ncbIni_Text=test\n"
            "\n[Directory]\nChoice=builtin\nLocation=\nBindDN=\n");
  auto window = makeWindow();
  window->show();
  EXPECT_EQ(window->eBaseDN->text(), "dc=people,dc=test");
  EXPECT_EQ(window->eFilename->text(), "/books/my book.ldif");
  EXPECT_EQ(window->cbIni->currentText(), "test");
  EXPECT_EQ(window->transformMap().size(), 1u);
  EXPECT_TRUE(desktop_->errors.empty());
}

TEST_F(MainWindowTest, UnwritableSettingsAreReportedTwiceAndTheWindowStillCloses) {
  writeFile("file", "");
  qputenv("XDG_CONFIG_HOME", path("file/below").toLocal8Bit());
  {
    auto window = makeWindow();
    window->show();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(desktop_->errors.size(), 1u);
  }
  ASSERT_EQ(desktop_->errors.size(), 2u);
  EXPECT_EQ(desktop_->errors[0], "Quorvane: Unable to write to " + path("file/below/Quorvane.ini") + ".");
  EXPECT_EQ(desktop_->errors[1], desktop_->errors[0]);
}

TEST_F(MainWindowTest, ProfileListFillsTheChoicesButNotTheField) {
  writeFile("app/second.ini", "[info]\ndescription=Second\n");
  writeFile("app/not-a-profile.txt", "");
  auto window = makeWindow();
  EXPECT_EQ(listed(*window), QStringList({"second", "test"}));
  EXPECT_EQ(window->cbIni->currentText(), "");

  window->show();
  EXPECT_EQ(window->ldesc->text(), "") << "the empty name loads no profile";
  window->cbIni->setCurrentIndex(window->cbIni->findText("second"));
  emit window->cbIni->activated(window->cbIni->currentIndex());
  EXPECT_EQ(window->ldesc->text(), "Second");
  EXPECT_TRUE(window->transformMap().empty());
}

TEST_F(MainWindowTest, ProfileListIsSortedByNameWithoutRegardToCase) {
  writeStockProfiles();
  for (const char* name : {"Zeta", "alpha", "Beta", "openldap-mozilla-schema"}) {
    writeFile(QString("app/%1.ini").arg(name), "");
  }
  auto window = makeWindow();
  EXPECT_EQ(listed(*window), QStringList({"alpha", "Beta", "openldap-mozilla-schema",
                                          "openldap-stock", "openldap-stock-business-card",
                                          "test", "Zeta"}));
}

TEST_F(MainWindowTest, TypedExactNameLoadsThatProfileAndNoLongerOne) {
  writeStockProfiles();
  writeFile("config/Quorvane.ini", "[Settings]\ncbIni_Text=\n");
  auto window = makeWindow();
  window->show();
  ASSERT_EQ(window->cbIni->currentText(), "");
  QLineEdit* edit = focusProfileField(*window);
  QTest::keyClicks(edit, "openldap-st");
  EXPECT_EQ(edit->text(), "openldap-st") << "longer names are offered, never filled in";
  EXPECT_EQ(window->ldesc->text(), "") << "a part of a name loads no profile";
  QTest::keyClicks(edit, "ock");
  EXPECT_EQ(window->cbIni->currentText(), "openldap-stock");
  EXPECT_EQ(edit->selectedText(), "") << "nothing completed into the field";
  EXPECT_EQ(window->ldesc->text(), "Stock schemas");
  EXPECT_EQ(window->transformMap().Lookup("mozillanickname:"), "description:");
  EXPECT_EQ(window->transformMap().Lookup("homephone:"), "");

  // Ending the edit keeps the name and picks its entry of the list.
  if (QWidget* popup = window->cbIni->completer()->popup()) popup->hide();
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(window->cbIni->currentText(), "openldap-stock");
  EXPECT_EQ(window->cbIni->currentIndex(), window->cbIni->findText("openldap-stock"));
  EXPECT_EQ(window->ldesc->text(), "Stock schemas");

  // One more letter is another name, which no file holds; the longer one is typed out.
  QTest::keyClick(edit, Qt::Key_Minus);
  EXPECT_EQ(window->cbIni->currentText(), "openldap-stock-");
  EXPECT_EQ(window->ldesc->text(), "");
  EXPECT_TRUE(window->transformMap().empty());
  QTest::keyClicks(edit, "business-card");
  EXPECT_EQ(window->ldesc->text(), "Business card");
  if (QWidget* popup = window->cbIni->completer()->popup()) popup->hide();
  EXPECT_TRUE(desktop_->errors.empty());
}

TEST_F(MainWindowTest, NameTypedInOtherLetterCaseLoadsTheListedProfile) {
  writeStockProfiles();
  writeFile("config/Quorvane.ini", "[Settings]\ncbIni_Text=\n");
  auto window = makeWindow();
  window->show();
  QLineEdit* edit = focusProfileField(*window);
  QTest::keyClicks(edit, "OpenLDAP-Stock");
  EXPECT_EQ(window->ldesc->text(), "Stock schemas");
  EXPECT_EQ(window->transformMap().Lookup("mozillanickname:"), "description:");
  if (QWidget* popup = window->cbIni->completer()->popup()) popup->hide();
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(window->cbIni->currentText(), "openldap-stock") << "the field takes the listed name";
  EXPECT_EQ(window->ldesc->text(), "Stock schemas");
}

TEST_F(MainWindowTest, WindowDestroyedWhileTheProfileFieldIsEditedEndsCleanly) {
  writeStockProfiles();
  writeFile("config/Quorvane.ini", "[Settings]\ncbIni_Text=\n");
  auto window = makeWindow();
  window->show();
  QTest::keyClicks(focusProfileField(*window), "openldap-stock-business-card");
  if (QWidget* popup = window->cbIni->completer()->popup()) popup->hide();
  window.reset();  // the field loses the focus as the window goes: no profile is loaded then
  EXPECT_TRUE(desktop_->errors.empty());
}

TEST_F(MainWindowTest, RestoredNameInOtherLetterCaseLoadsTheListedProfile) {
  writeFile("config/Quorvane.ini", "[Settings]\ncbIni_Text=TEST\n");
  auto window = makeWindow();
  window->show();
  EXPECT_EQ(window->cbIni->currentText(), "TEST");
  EXPECT_EQ(window->ldesc->text(), "Drops the second address");
  EXPECT_EQ(window->transformMap().size(), 1u);
}

TEST_F(MainWindowTest, FirstStartChoosesTheStockProfile) {
  writeStockProfiles();
  auto window = makeWindow();
  EXPECT_EQ(window->cbIni->currentText(), "") << "chosen as the window is shown, not before";
  window->show();
  EXPECT_EQ(window->cbIni->currentText(), "openldap-stock");
  EXPECT_EQ(window->cbIni->currentIndex(), window->cbIni->findText("openldap-stock"));
  EXPECT_EQ(window->ldesc->text(), "Stock schemas");
  EXPECT_EQ(window->transformMap().Lookup("mozillanickname:"), "description:");
  EXPECT_EQ(readFile("config/Quorvane.ini"), "<missing>") << "nothing written at start";

  window->close();
  EXPECT_TRUE(readFile("config/Quorvane.ini").contains("cbIni_Text=openldap-stock\n"));
}

TEST_F(MainWindowTest, SettingsFileWinsOverTheFirstStartChoice) {
  writeStockProfiles();
  const QByteArray files[] = {
      "[Settings]\nFormVersion=0\neBaseDN_Text=dc=x\neFilename_Text=\ncbIni_Text=\n",
      "[Settings]\ncbIni_Text=\n",
      "[Settings]\neBaseDN_Text=dc=x\n",  // no profile key: the file still wins
      "[Other]\nkey=value\n",
      "[Settings]\nFormVersion=-1\ncbIni_Text=test\n",  // stored values ignored
  };
  for (const QByteArray& file : files) {
    SCOPED_TRACE(file.toStdString());
    writeFile("config/Quorvane.ini", file);
    auto window = makeWindow();
    window->show();
    EXPECT_EQ(window->cbIni->currentText(), "");
    EXPECT_EQ(window->ldesc->text(), "");
    EXPECT_TRUE(window->transformMap().empty());
  }
  writeFile("config/Quorvane.ini", "[Settings]\ncbIni_Text=test\n");
  auto window = makeWindow();
  window->show();
  EXPECT_EQ(window->cbIni->currentText(), "test");
  EXPECT_EQ(window->ldesc->text(), "Drops the second address");
}

TEST_F(MainWindowTest, DescriptionIsShownWholeAndWrapped) {
  const QString description =
      "A long description that cannot fit on two lines of the settings panel: it names the "
      "schemas the directory has, what the profile keeps, what it moves to standard attributes "
      "and what it drops, and so it wraps to several lines, every one of which must be seen.";
  writeFile("app/long.ini", "[info]\ndescription=" + description.toUtf8() + "\n");
  writeFile("config/Quorvane.ini", "[Settings]\ncbIni_Text=long\n");
  auto window = makeWindow();
  window->resize(917, 535);
  window->show();
  settle(*window);
  QLabel* ldesc = window->ldesc;
  EXPECT_EQ(ldesc->text(), description);
  EXPECT_TRUE(ldesc->wordWrap());
  const int needed = ldesc->heightForWidth(ldesc->width());
  EXPECT_GT(needed, 3 * ldesc->fontMetrics().height()) << "the text wraps to more than 3 lines";
  EXPECT_GE(ldesc->height(), needed) << "width " << ldesc->width();
  EXPECT_EQ(ldesc->visibleRegion().boundingRect(), ldesc->rect()) << "no part is cut off";

  // A short description gives the room back to the source pane.
  const int sourceHeight = window->source->height();
  window->cbIni->setEditText("test");
  emit window->cbIni->lineEdit()->textEdited("test");
  settle(*window);
  EXPECT_EQ(ldesc->text(), "Drops the second address");
  EXPECT_GT(window->source->height(), sourceHeight);
  EXPECT_EQ(ldesc->visibleRegion().boundingRect(), ldesc->rect());
}

TEST_F(MainWindowTest, ClosingAnUntouchedWindowAsksNothing) {
  auto window = makeWindow();
  window->show();
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(desktop_->questions.empty());
  EXPECT_NE(readFile("config/Quorvane.ini"), "<missing>");
}

TEST_F(MainWindowTest, ClosingWithAnUnsavedResultAsksAndNoKeepsTheWindow) {
  auto window = makeWindow();
  window->show();
  window->eBaseDN->setText("dc=kept");
  window->source->ReplaceLines(Lines({"dn: cn=A", "cn: A"}));
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  ASSERT_TRUE(window->ResultUnsaved());
  const std::vector<std::string> result = window->dest->Lines();

  desktop_->answers = {false};
  QTest::mouseClick(window->suiButton5, Qt::LeftButton);  // Close
  EXPECT_EQ(desktop_->questions,
            std::vector<QString>{"The result has not been saved. Close anyway?"});
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->dest->Lines(), result);
  EXPECT_EQ(window->eBaseDN->text(), "dc=kept");
  EXPECT_EQ(readFile("config/Quorvane.ini"), "<missing>") << "No writes nothing";

  // The title bar's close button asks the same.
  desktop_->answers = {false};
  window->windowHandle()->close();
  EXPECT_EQ(desktop_->questions.size(), 2u);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(readFile("config/Quorvane.ini"), "<missing>");

  desktop_->answers = {true};
  window->windowHandle()->close();
  EXPECT_EQ(desktop_->questions.size(), 3u);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(readFile("config/Quorvane.ini").contains("eBaseDN_Text=dc=kept\n"))
      << "Yes closes as before, settings saved";
  EXPECT_TRUE(desktop_->errors.empty());
}

TEST_F(MainWindowTest, SavedResultClosesWithoutQuestionUntilItIsEditedAgain) {
  auto window = makeWindow();
  window->show();
  window->source->ReplaceLines(Lines({"dn: cn=A", "cn: A"}));
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);

  desktop_->saveAnswers.push_back(path("app"));  // a directory: the save fails
  desktop_->answers = {true};                     // "replace it?"
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);
  ASSERT_EQ(desktop_->errors.size(), 1u);
  EXPECT_TRUE(window->ResultUnsaved()) << "a failed save keeps nothing";

  desktop_->saveAnswers.push_back(path("out.ldif"));
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);
  EXPECT_NE(readFile("out.ldif"), "<missing>");
  EXPECT_FALSE(window->ResultUnsaved());

  // An edit of the result pane is work the save has not kept.
  window->dest->setFocus();
  QTest::keyClick(window->dest, Qt::Key_X);
  EXPECT_TRUE(window->ResultUnsaved());
  desktop_->questions.clear();
  desktop_->answers = {false};
  EXPECT_FALSE(window->close());
  EXPECT_EQ(desktop_->questions.size(), 1u);

  desktop_->saveAnswers.push_back(path("out2.ldif"));
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);
  desktop_->questions.clear();
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(desktop_->questions.empty());
}

TEST_F(MainWindowTest, EmptyResultIsNothingToLose) {
  auto window = makeWindow();
  window->show();
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);  // an empty source repairs to nothing
  EXPECT_FALSE(window->ResultUnsaved());
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(desktop_->questions.empty());
}

TEST_F(MainWindowTest, AboutShowsNameCreditAndHomePage) {
  auto window = makeWindow();
  QTest::mouseClick(window->bAbout, Qt::LeftButton);
  ASSERT_EQ(desktop_->plain.size(), 1u);
  const QStringList lines = desktop_->plain[0].split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], "Quorvane: Quorvane");
  EXPECT_TRUE(lines[1].startsWith("by "));
  EXPECT_TRUE(lines[2].startsWith("home page: "));
}

TEST(ErrorMessageText, FullStopOnlyAfterCharactersSortingAfterIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"Disk full", "Disk full."}, {"Done.", "Done."}, {"(x)", "(x)"},
      {"a-", "a-"},                {"dir/", "dir/."}, {"", ""},
      {"r\xC3\xA9sum\xC3\xA9", "r\xC3\xA9sum\xC3\xA9."},
  };
  for (const auto& [message, shown] : cases) {
    EXPECT_EQ(ErrorMessageText(message), QString::fromUtf8(shown)) << message;
  }
}

}  // namespace
}  // namespace quorvane
