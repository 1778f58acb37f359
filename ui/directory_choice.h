// The Directory choice: the schema Fix checks and repairs the records for, read beside the window.
#pragma once

#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "schema/schema_sources.h"
#include "ui/services.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace quorvane {

class IniDocument;

// Reads a schema from its sources; LoadSchema by default, tests give their own.
using SchemaLoader =
    std::function<SchemaLoad(const std::vector<std::string>& sources, const ServerAccess& access)>;

// A combo box of four choices with the fields the choice needs and a line that says how
// reading the schema went. The built-in schema needs no reading. A schema file or a server is
// read on a worker thread once the choice is made (or restored), never at every Fix, and again
// only when the choice changes; the window goes on meanwhile. A server's password is asked for
// when a bind DN is given and is kept only for the one reading.
class DirectoryChoice : public QWidget {
  Q_OBJECT

 public:
  enum class Kind { kBuiltin, kBuiltinAndFile, kServer, kNone };

  DirectoryChoice(Services services, SchemaLoader loader, QWidget* parent = nullptr);
  ~DirectoryChoice() override;

  QComboBox* cbDirectory = nullptr;
  QLineEdit* eDirectory = nullptr;  // the schema file, or the server's ldap:// address
  QLineEdit* eBindDN = nullptr;     // a server's bind DN; empty binds anonymously
  QLabel* lDirectory = nullptr;     // how reading went, or what is being read

  Kind kind() const;
  // Sets the choice as the user would make it, and starts reading what it needs.
  void Choose(Kind kind, const QString& location, const QString& bindDN);
  // Starts reading when the fields name another schema than the one read last.
  void Refresh();

  bool Reading() const { return pending_.valid(); }
  // The schema of the current choice could not be read (`Problem()` says why).
  bool Failed() const { return !Reading() && !error_.isEmpty(); }
  QString Problem() const { return error_; }
  // What Fix checks against: null for "none". Only while neither Reading() nor Failed().
  const Schema* schema() const;
  // The choice in words, for the log ("the built-in OpenLDAP schema").
  QString Describe() const;

  // The choice in the settings file's section [Directory]; the password never is.
  void Restore(const IniDocument& settings);
  void Save(IniDocument& settings) const;
  static constexpr const char* kSection = "Directory";

 signals:
  // The status bar's message while reading and when reading ends.
  void progress(const QString& message);
  // A reading ended, read or failed.
  void finished();

 private:
  struct Request {
    Kind kind = Kind::kBuiltin;
    QString location;
    QString bindDN;
    bool operator==(const Request&) const = default;
  };
  Request current() const;
  void kindChosen();
  void showFields();
  bool askForFile();
  void start(const Request& request);
  // The access a reading needs, the password asked for; false (error_ set) when it cannot run.
  bool prepare(const Request& request, ServerAccess& access);
  void poll();
  void settle(SchemaLoad load);
  void showState(const QString& text, bool failed);

  Services services_;
  SchemaLoader loader_;
  Request request_;  // the choice read last, or being read
  bool haveRequest_ = false;
  bool refreshQueued_ = false;  // the choice changed while a reading ran
  std::future<SchemaLoad> pending_;
  std::chrono::steady_clock::time_point started_;
  long long shownSeconds_ = 0;
  QTimer* poller_ = nullptr;
  std::unique_ptr<SchemaLoad> load_;  // the schema read last
  QString error_;
};

}  // namespace quorvane
