// Tests of the settings kept between runs: keys, order, quoting, limits and failures.
#include "ui/form_storage.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>
#include <string>

#include "engine/error.h"
#include "tests/support/file_size_limit.h"

namespace quorvane {
namespace {

// Counts how often one file of a folder is opened and how often a file is renamed onto its name
// (a safe write) from construction until Collect().
class FileEvents {
 public:
  FileEvents(const std::string& folder, std::string name) : name_(std::move(name)) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) ::inotify_add_watch(fd_, folder.c_str(), IN_OPEN | IN_MOVED_TO);
  }
  ~FileEvents() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileEvents(const FileEvents&) = delete;
  FileEvents& operator=(const FileEvents&) = delete;

  bool watching() const { return fd_ >= 0; }
  void Collect() {
    alignas(inotify_event) char buffer[8192];
    for (ssize_t got; (got = ::read(fd_, buffer, sizeof buffer)) > 0;) {
      for (const char* at = buffer; at < buffer + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len > 0 && name_ == event->name) {
          opens += (event->mask & IN_OPEN) != 0;
          replacements += (event->mask & IN_MOVED_TO) != 0;
        }
        at += sizeof(inotify_event) + event->len;
      }
    }
  }

  int opens = 0;
  int replacements = 0;

 private:
  std::string name_;
  int fd_ = -1;
};

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

TEST_F(FormStorageTest, EachRestoreReadsAndEachSaveWritesTheFileOnce) {
  writeFile("; kept\n[Settings]\neFilename_Text=book.ldif\n");
  FileEvents events(folder_.path().toStdString(), "Quorvane.ini");
  if (!events.watching()) GTEST_SKIP() << "no inotify";
  storage_->RestoreSettings();
  events.Collect();
  EXPECT_EQ(events.opens, 1);
  EXPECT_EQ(events.replacements, 0);

  storage_->SaveSettings();
  events.Collect();
  EXPECT_EQ(events.opens, 2) << "one more read";
  EXPECT_EQ(events.replacements, 1) << "all keys in one write";
  EXPECT_EQ(readFile(),
            "; kept\n[Settings]\neFilename_Text=book.ldif\nFormVersion=0\n"
            "eBaseDN_Text=dc=contacts,dc=example,dc=com\ncbIni_Text=\n");
}

// A save that fails part-way leaves the whole file as it was (no key of it written), the form
// still closes, and the save is tried again when the form goes.
TEST_F(FormStorageTest, FailedSaveLeavesTheWholeFileAndIsRetriedOnDestruction) {
  const std::string before = "[Settings]\nFormVersion=0\neBaseDN_Text=dc=old\n";
  writeFile(before);
  form_->show();
  baseDN_->setText("dc=new");
  fileName_->setText(QString(3000, 'f'));
  {
    FileSizeLimit limit(before.size() + 8);
    form_->close();
  }
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(storage_->saved());
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0], "Unable to write to " + path());
  EXPECT_EQ(readFile(), before);
  EXPECT_EQ(QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList{"Quorvane.ini"});

  storage_->FormDestroying();
  EXPECT_TRUE(storage_->saved());
  EXPECT_EQ(errors_.size(), 1u);
  EXPECT_NE(readFile().find("eBaseDN_Text=dc=new\n"), std::string::npos) << readFile();
}

}  // namespace
}  // namespace quorvane
