// Tests of the settings kept between runs: keys, order, quoting, limits and failures.
#include "ui/form_storage.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/error.h"

namespace quorvane {
namespace {

// A form with the three stored fields, its storage pointed at a file in a temporary folder.
class FormStorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    form_ = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(form_.get());
    baseDN_ = addField<QLineEdit>("eBaseDN", layout);
    fileName_ = addField<QLineEdit>("eFilename", layout);
    profile_ = addField<QComboBox>("cbIni", layout);
    profile_->setEditable(true);
    profile_->addItems({"first", "second"});
    profile_->setEditText(QString());
    baseDN_->setText("dc=contacts,dc=example,dc=com");

    storage_ = new TFormStorage(form_.get());
    storage_->StoredProps = {"eBaseDN.Text", "eFilename.Text", "cbIni.Text"};
    storage_->SettingsPath = [this] { return path(); };
    storage_->OnRestorePlacement = [this](TFormStorage*) { ++restoreSignals_; };
    storage_->OnError = [this](std::exception_ptr error) {
      try {
        std::rethrow_exception(error);
      } catch (const std::exception& e) {
        errors_.push_back(e.what());
      }
    };
    storage_->Bind();
  }

  template <class Field>
  Field* addField(const char* name, QVBoxLayout* layout) {
    auto* field = new Field;
    field->setObjectName(name);
    layout->addWidget(field);
    return field;
  }

  std::string path() const { return (folder_.path() + "/Quorvane.ini").toStdString(); }

  void writeFile(const std::string& bytes) const {
    QFile file(QString::fromStdString(path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }

  std::string readFile() const {
    QFile file(QString::fromStdString(path()));
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll().toStdString();
  }

  QTemporaryDir folder_;
  std::unique_ptr<QWidget> form_;
  QLineEdit* baseDN_ = nullptr;
  QLineEdit* fileName_ = nullptr;
  QComboBox* profile_ = nullptr;
  TFormStorage* storage_ = nullptr;
  int restoreSignals_ = 0;
  std::vector<std::string> errors_;
};

TEST_F(FormStorageTest, FirstStartKeepsDefaultsAndFirstCloseWritesFourKeysInOrder) {
  baseDN_->setText("  dc=contacts,dc=example,dc=com  ");
  form_->show();  // restores, before the form becomes visible
  EXPECT_EQ(restoreSignals_, 1);
  EXPECT_EQ(baseDN_->text(), "dc=contacts,dc=example,dc=com");
  EXPECT_EQ(fileName_->text(), "");
  EXPECT_EQ(profile_->currentText(), "");
  EXPECT_EQ(readFile(), "<missing>") << "nothing is written at start-up";

  form_->close();
  EXPECT_TRUE(storage_->saved());
  EXPECT_EQ(readFile(),
            "[Settings]\nFormVersion=0\neBaseDN_Text=dc=contacts,dc=example,dc=com\n"
            "eFilename_Text=\ncbIni_Text=\n");
  EXPECT_TRUE(errors_.empty());
}

TEST_F(FormStorageTest, TrimmedTextsSurviveASaveAndRestoreUnchanged) {
  struct Case {
    const char* typed;
    const char* stored;
    const char* restored;
  };
  const Case cases[] = {
      {"  dc=a,dc=b \t", "dc=a,dc=b", "dc=a,dc=b"},
      {"'quoted'", "\"'quoted'\"", "'quoted'"},
      {"\"double\"", "\"\"double\"\"", "\"double\""},
      {"'starts only", "'starts only", "'starts only"},
      {"ends only\"", "ends only\"", "ends only\""},
      {"\"", "\"\"\"", "\""},
      {"/home/u/My Books/book.ldif", "/home/u/My Books/book.ldif", "/home/u/My Books/book.ldif"},
  };
  storage_->RestoreSettings();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    fileName_->setText(c.typed);
    storage_->SaveSettings();
    EXPECT_NE(readFile().find(std::string("eFilename_Text=") + c.stored + "\n"), std::string::npos)
        << readFile();
    fileName_->setText("changed");
    storage_->RestoreSettings();
    EXPECT_EQ(fileName_->text().toStdString(), c.restored);
  }
}

TEST_F(FormStorageTest, EmptyValueEmptiesFieldWhileMissingKeyKeepsIt) {
  writeFile("[settings]\nformversion=0\nEBASEDN_TEXT=\ncbini_text=  not listed  \n");
  fileName_->setText("kept.ldif");
  storage_->RestoreSettings();
  EXPECT_EQ(baseDN_->text(), "");
  EXPECT_EQ(fileName_->text(), "kept.ldif");
  EXPECT_EQ(profile_->currentText(), "not listed") << "the edit text, not a list entry";
  EXPECT_EQ(restoreSignals_, 1);
}

TEST_F(FormStorageTest, LongValueComesBackCutTo2047Characters) {
  const std::string value(3000, 'x');
  writeFile("[Settings]\neFilename_Text=" + value + "\n");
  storage_->RestoreSettings();
  EXPECT_EQ(fileName_->text().toStdString(), value.substr(0, 2047));
}

TEST_F(FormStorageTest, NegativeVersionRestoresNothingUntilTheNextSave) {
  writeFile("[Settings]\nFormVersion=-1\neBaseDN_Text=dc=stored\ncbIni_Text=first\n");
  storage_->RestoreSettings();
  EXPECT_EQ(baseDN_->text(), "dc=contacts,dc=example,dc=com");
  EXPECT_EQ(profile_->currentText(), "");
  EXPECT_EQ(restoreSignals_, 0);
  EXPECT_TRUE(storage_->restored());

  storage_->SaveSettings();
  EXPECT_EQ(readFile(),
            "[Settings]\nFormVersion=0\neBaseDN_Text=dc=contacts,dc=example,dc=com\n"
            "cbIni_Text=\neFilename_Text=\n");
}

TEST_F(FormStorageTest, SaveKeepsOtherSectionsAndKeys) {
  writeFile("; kept\n[Other]\na=1\n\n[Settings]\nExtra=yes\neBaseDN_Text=old\n[Last]\nb=2\n");
  storage_->RestoreSettings();
  baseDN_->setText("dc=new");
  storage_->SaveSettings();
  EXPECT_EQ(readFile(),
            "; kept\n[Other]\na=1\n\n[Settings]\nExtra=yes\neBaseDN_Text=dc=new\n"
            "FormVersion=0\neFilename_Text=\ncbIni_Text=\n[Last]\nb=2\n");
}

TEST_F(FormStorageTest, NothingIsSavedBeforeARestore) {
  storage_->SaveSettings();
  EXPECT_EQ(readFile(), "<missing>");
  EXPECT_FALSE(storage_->saved());
}

TEST_F(FormStorageTest, UnwritableFileIsReportedOnCloseAndAgainOnDestruction) {
  writeFile("");
  storage_->SettingsPath = [this] { return path() + "/below-a-file.ini"; };
  form_->show();
  form_->close();
  storage_->FormDestroying();
  ASSERT_EQ(errors_.size(), 2u);
  EXPECT_EQ(errors_[0], "Unable to write to " + path() + "/below-a-file.ini");
  EXPECT_EQ(errors_[1], errors_[0]);
  EXPECT_FALSE(storage_->saved());
}

TEST_F(FormStorageTest, CompletedSaveIsNotRepeatedOnDestruction) {
  form_->show();
  form_->close();
  writeFile("[Settings]\nmarker=1\n");
  storage_->FormDestroying();
  EXPECT_EQ(readFile(), "[Settings]\nmarker=1\n");
}

TEST_F(FormStorageTest, BindingDropsEntriesThatNameNoControl) {
  storage_->StoredProps = {"EBASEDN . text", "missing.Text", "noDot", ".Text", "eFilename."};
  storage_->Bind();
  storage_->RestoreSettings();
  storage_->SaveSettings();
  EXPECT_EQ(readFile(), "[Settings]\nFormVersion=0\neBaseDN_Text=dc=contacts,dc=example,dc=com\n");
}

}  // namespace
}  // namespace quorvane
