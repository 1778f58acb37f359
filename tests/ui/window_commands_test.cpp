// Tests of what the window says and asks: missing profiles, empty sources, results that belong
// to another source, the keyboard, the log's line links and files given on the command line.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBlock>

#include "tests/ui/main_window_fixture.h"

namespace quorvane {
namespace {

class WindowCommandsTest : public MainWindowTest {
 protected:
  // A shown, active window, as the keyboard needs it.
  std::unique_ptr<TForm1> activeWindow() {
    auto window = makeWindow();
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    return window;
  }

  static QString lastLogLine(const TForm1& window) {
    return window.Memo1->toPlainText().split('\n').back();
  }

  // Loads `name` through the Load button, answering the dialog.
  void load(TForm1& window, const QString& name) {
    desktop_->openAnswers.push_back(path(name));
    QTest::mouseClick(window.bLoad, Qt::LeftButton);
  }
};

// "openldap-stok" once loaded an empty profile without a word, and Fix said nothing either.
TEST_F(WindowCommandsTest, ProfileNameThatMatchesNoFileIsSaidAndTheSummaryNamesTheProfile) {
  writeFile("config/Quorvane.ini", "[Settings]\ncbIni_Text=openldap-stok\n");
  auto window = makeWindow();
  window->show();
  EXPECT_EQ(window->statusbar->currentMessage(),
            "No profile named \"openldap-stok\": Fix applies no profile rules");
  window->source->ReplaceLines(Lines({"dn: cn=A", "cn: A"}));
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  EXPECT_TRUE(lastLogLine(*window).endsWith("; no profile (\"openldap-stok\" matches no file)"))
      << lastLogLine(*window).toStdString();

  struct Case {
    const char* typed;
    const char* summaryEnd;
  };
  const Case cases[] = {{"TEST", "; profile \"test\""}, {"", "; no profile"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    window->cbIni->setEditText(c.typed);
    window->cbIniChange();
    EXPECT_FALSE(window->statusbar->currentMessage().startsWith("No profile named"));
    QTest::mouseClick(window->suiButton1, Qt::LeftButton);
    EXPECT_TRUE(lastLogLine(*window).endsWith(c.summaryEnd)) << lastLogLine(*window).toStdString();
  }
  EXPECT_TRUE(desktop_->errors.empty());
}

// Fix on an empty source counted zero records and gave no hint.
TEST_F(WindowCommandsTest, FixOnASourceWithoutRecordsSaysWhatToDoAndKeepsTheResult) {
  auto window = makeWindow();
  window->dest->ReplaceLines(Lines({"earlier result"}));
  for (const auto& source : {Lines({""}), Lines({"", "   ", ""}), Lines({"# only a comment"})}) {
    window->source->ReplaceLines(source);
    QTest::mouseClick(window->suiButton1, Qt::LeftButton);
    EXPECT_TRUE(window->statusbar->currentMessage().startsWith(
        "Nothing to fix: the source holds no record. Paste LDIF"));
    EXPECT_EQ(lastLogLine(*window), window->statusbar->currentMessage());
    EXPECT_EQ(window->dest->Lines(), Lines({"earlier result"}));
  }
  EXPECT_FALSE(window->Memo1->toPlainText().contains("Fixed 0"));
}

// Enter in Filename did nothing.
TEST_F(WindowCommandsTest, EnterInTheFileNameLoadsThatFile) {
  writeFile("book.ldif", "dn: cn=Book\r\n");
  auto window = activeWindow();
  window->eFilename->setFocus();
  QTest::keyClicks(window->eFilename, path("book.ldif"));
  QTest::keyClick(window->eFilename, Qt::Key_Return);
  EXPECT_EQ(window->source->Lines(), Lines({"dn: cn=Book"}));
  EXPECT_EQ(window->SourceFile(), path("book.ldif"));

  window->eFilename->setText(path("missing.ldif"));
  QTest::keyClick(window->eFilename, Qt::Key_Return);
  ASSERT_EQ(desktop_->errors.size(), 1u);
  EXPECT_TRUE(desktop_->errors[0].startsWith("Quorvane: Cannot open file"));
  EXPECT_EQ(window->source->Lines(), Lines({"dn: cn=Book"}));

  window->eFilename->clear();
  QTest::keyClick(window->eFilename, Qt::Key_Return);
  EXPECT_EQ(window->statusbar->currentMessage(),
            "Type the name of a file to load, or press Load (Ctrl+O)");
}

// Each Fix opens its part of the log with its source, profile and directory.
TEST_F(WindowCommandsTest, EachFixOpensItsPartOfTheLogWithItsSource) {
  writeFile("a.ldif", "dn: cn=A\n");
  auto window = makeWindow();
  window->source->ReplaceLines(Lines({"dn: cn=P"}));
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  desktop_->answers = {true};  // load over the unsaved result
  load(*window, "a.ldif");
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  const QStringList headings =
      window->Memo1->toPlainText().split('\n').filter(QRegularExpression("^---- Fix of "));
  EXPECT_EQ(headings,
            QStringList({"---- Fix of pasted text with no profile; directory: the built-in "
                         "OpenLDAP schema",
                         "---- Fix of " + path("a.ldif") +
                             " with no profile; directory: the built-in OpenLDAP schema"}));
}

// After a second file, Save offered the second file's name for the first file's result.
TEST_F(WindowCommandsTest, SaveOfAResultMadeFromAnotherSourceAsksForItsName) {
  writeFile("a.ldif", "dn: cn=A\n");
  writeFile("b.ldif", "dn: cn=B\n");
  auto window = makeWindow();
  load(*window, "a.ldif");
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  EXPECT_EQ(window->ResultSource(), path("a.ldif"));

  desktop_->answers = {true};
  load(*window, "b.ldif");
  ASSERT_EQ(desktop_->questions.size(), 1u);
  EXPECT_EQ(desktop_->questions[0],
            "The result has not been saved. Load \"" + path("b.ldif") + "\" anyway?");

  const QString stamp = " 2025-03-06_14-05-09.ldif";
  desktop_->answers = {false, true};
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);  // No: the result's own name
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);  // Yes: the name of the loaded file
  ASSERT_EQ(desktop_->questions.size(), 3u);
  EXPECT_EQ(desktop_->questions[1], "The result was made from " + path("a.ldif") +
                                        ". Save it as " + path("b") + stamp + "?");
  EXPECT_EQ(desktop_->savePresets, (std::vector<QString>{path("a") + stamp, path("b") + stamp}));

  // Fixed again, the result belongs to the file loaded: no question.
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);
  EXPECT_EQ(desktop_->questions.size(), 3u);
  EXPECT_EQ(desktop_->savePresets.back(), path("b") + stamp);
}

// A drop leaves Filename as it was, so Save offered the old name for the dropped file's result;
// and dropping over an unsaved result asked nothing.
TEST_F(WindowCommandsTest, DropOverAnUnsavedResultAsksOnceAndSaveKnowsTheDroppedFile) {
  writeFile("a.ldif", "dn: cn=A\n");
  writeFile("b.ldif", "dn: cn=B\n");
  writeFile("c.ldif", "dn: cn=C\n");
  auto window = makeWindow();
  window->show();
  window->eFilename->setText(path("old.ldif"));
  dropFiles(window->source, {path("a.ldif")});
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);

  desktop_->answers = {false};
  dropFiles(window->source, {path("b.ldif"), path("c.ldif")});
  EXPECT_EQ(window->source->Lines(), Lines({"dn: cn=A"})) << "No keeps the pane";
  EXPECT_EQ(desktop_->questions.size(), 1u) << "one question for the whole drop";

  desktop_->answers = {true};
  dropFiles(window->source, {path("b.ldif"), path("c.ldif")});
  EXPECT_EQ(window->source->Lines(), Lines({"dn: cn=C"}));
  EXPECT_EQ(desktop_->questions.size(), 2u);

  desktop_->answers = {false};
  QTest::mouseClick(window->suiButton2, Qt::LeftButton);
  EXPECT_EQ(desktop_->questions.back(), "The result was made from " + path("a.ldif") +
                                            ". Save it as " + path("old") +
                                            " 2025-03-06_14-05-09.ldif?");
  EXPECT_EQ(desktop_->savePresets.back(), path("a") + " 2025-03-06_14-05-09.ldif");
}

// No keyboard shortcuts or mnemonics at all before.
TEST_F(WindowCommandsTest, ShortcutsWorkFromThePanesAndMnemonicsReachEveryField) {
  writeFile("a.ldif", "dn: cn=A\n");
  auto window = activeWindow();
  window->source->setFocus();
  desktop_->openAnswers.push_back(path("a.ldif"));
  QTest::keyClick(window->source, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(window->source->Lines(), Lines({"dn: cn=A"})) << "Ctrl+O loads";

  for (const auto& [key, modifiers] : {std::pair{Qt::Key_R, Qt::ControlModifier},
                                       std::pair{Qt::Key_F5, Qt::NoModifier}}) {
    window->dest->ReplaceLines({});
    QTest::keyClick(window->source, key, modifiers);
    EXPECT_EQ(window->dest->Line(0), "dn: cn=A,dc=contacts,dc=example,dc=com") << "Fix";
  }
  QTest::keyClick(window->dest, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(desktop_->savePresets.size(), 1u) << "Ctrl+S saves";
  EXPECT_EQ(window->source->Lines(), Lines({"dn: cn=A"})) << "no key reached the pane";

  struct Mnemonic {
    Qt::Key key;
    QWidget* field;
  };
  const Mnemonic fields[] = {{Qt::Key_N, window->eFilename},
                             {Qt::Key_B, window->eBaseDN},
                             {Qt::Key_T, window->cbIni}};
  for (const Mnemonic& m : fields) {
    QTest::keyClick(window.get(), m.key, Qt::AltModifier);
    EXPECT_TRUE(m.field->hasFocus() || m.field->isAncestorOf(QApplication::focusWidget()))
        << m.field->objectName().toStdString();
  }
  for (QPushButton* button : {window->bLoad, window->suiButton1, window->suiButton2,
                              window->bAbout, window->suiButton5}) {
    EXPECT_TRUE(button->text().contains('&')) << button->objectName().toStdString();
  }
  QTest::keyClick(window->source, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(desktop_->questions.size(), 1u) << "Ctrl+Q closes, asking for the unsaved result";
}

// The log's "line N:" lines led nowhere, and the highlighting was explained nowhere.
TEST_F(WindowCommandsTest, ClickOnALineMessageShowsThatSourceLine) {
  auto window = makeWindow();
  window->resize(1000, 700);
  window->show();
  window->source->ReplaceLines(
      Lines({"dn: cn=A", "cn: A", "", "dn: cn=B", "cn: B", "", "dn:: abc", "cn: C"}));
  QTest::mouseClick(window->suiButton1, Qt::LeftButton);
  const QTextBlock message = window->Memo1->document()->findBlockByNumber(1);
  ASSERT_TRUE(message.text().startsWith("line 7: 001: ")) << message.text().toStdString();
  const QRect at = window->Memo1->cursorRect(QTextCursor(message));
  QTest::mouseClick(window->Memo1->viewport(), Qt::LeftButton, {}, at.center() + QPoint(20, 0));
  int line = -1, index = -1;
  window->source->getCursorPosition(&line, &index);
  EXPECT_EQ(line, 6);
  EXPECT_EQ(window->source->selectedText(), "dn:: abc");

  // The heading and the summary are no line messages.
  window->source->setCursorPosition(0, 0);
  const QRect heading = window->Memo1->cursorRect(QTextCursor(window->Memo1->document()->begin()));
  QTest::mouseClick(window->Memo1->viewport(), Qt::LeftButton, {}, heading.center());
  window->source->getCursorPosition(&line, &index);
  EXPECT_EQ(line, 0);

  EXPECT_TRUE(window->source->viewport()->toolTip().startsWith("Highlighting: attribute names"));
  EXPECT_TRUE(window->dest->viewport()->toolTip().isEmpty());
}

// Files named on the command line load as a drop of those files would.
TEST_F(WindowCommandsTest, FilesFromTheCommandLineLoadAsADrop) {
  writeFile("a.ldif", "dn: cn=A\n");
  writeFile("b.ldif", "dn: cn=B\n");
  auto window = makeWindow();
  window->show();
  window->eFilename->setText("kept.ldif");
  window->OpenFiles({path("a.ldif"), path("b.ldif")});
  EXPECT_EQ(window->source->Lines(), Lines({"dn: cn=B"}));
  EXPECT_EQ(window->SourceFile(), path("b.ldif"));
  EXPECT_EQ(window->eFilename->text(), "kept.ldif");
  window->OpenFiles({path("missing.ldif")});
  ASSERT_EQ(desktop_->errors.size(), 1u);
  EXPECT_TRUE(desktop_->errors[0].startsWith("Quorvane: Cannot open file"));
}

}  // namespace
}  // namespace quorvane
