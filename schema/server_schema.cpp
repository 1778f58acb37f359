// Reading the schema a running LDAP server serves, through libldap.
#include "schema/server_schema.h"

#include <lber.h>
#include <ldap.h>
#include <poll.h>
#include <signal.h>
#include <sys/time.h>

#include <cerrno>
#include <memory>
#include <string_view>

namespace quorvane {
namespace {

// The certificates Debian's ca-certificates package gathers: those the system trusts.
constexpr char kSystemCAFile[] = "/etc/ssl/certs/ca-certificates.crt";

struct Unbind {
  void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
using Connection = std::unique_ptr<LDAP, Unbind>;

struct FreeMessage {
  void operator()(LDAPMessage* message) const { ldap_msgfree(message); }
};
using Message = std::unique_ptr<LDAPMessage, FreeMessage>;

// How long the connection waits for the server at its socket, and whether a wait ran out.
struct Waits {
  int seconds = 10;
  bool connected = false;  // the server took the connection
  bool ranOut = false;
  ldap_conncb callbacks{};
};

// libldap writes to its socket with plain write(): a server that has closed the connection
// must give an error to report, not end the program with SIGPIPE.
class PipeSignalIgnored {
 public:
  PipeSignalIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &saved_);
  }
  ~PipeSignalIgnored() { sigaction(SIGPIPE, &saved_, nullptr); }
  PipeSignalIgnored(const PipeSignalIgnored&) = delete;
  PipeSignalIgnored& operator=(const PipeSignalIgnored&) = delete;

 private:
  struct sigaction saved_ {};
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] - 'A' + 'a') : text[i];
    if (c != prefix[i]) return false;
  }
  return true;
}

// libldap's reason for `rc`, with the server's or the TLS layer's own words where it has any.
std::string Describe(LDAP* ld, int rc, const Waits& waits) {
  if (rc == LDAP_TIMEOUT || (rc < 0 && waits.ranOut)) {
    return "no answer within " + std::to_string(waits.seconds) +
           (waits.seconds == 1 ? " second" : " seconds");
  }
  std::string reason = ldap_err2string(rc);
  char* diagnostic = nullptr;
  if (ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic) == LDAP_OPT_SUCCESS &&
      diagnostic != nullptr) {
    // libldap says "(unknown error code)" where the TLS layer gave no reason.
    const std::string_view text = diagnostic;
    if (!text.empty() && text != "(unknown error code)") reason += " (" + std::string(text) + ")";
    ldap_memfree(diagnostic);
  }
  return reason;
}

// libldap's timeouts do not cover an ldaps:// server's TLS handshake: a server that takes the
// connection and then says nothing would hold the program for ever (libldap even spins on
// the socket meanwhile). A layer under TLS therefore waits for the socket itself, at most
// `Waits::seconds` for every read and write, and fails them with ETIMEDOUT after that.
bool WaitForSocket(Sockbuf_IO_Desc* sbiod, short events) {
  auto* waits = static_cast<Waits*>(sbiod->sbiod_pvt);
  ber_socket_t fd = -1;
  ber_sockbuf_ctrl(sbiod->sbiod_sb, LBER_SB_OPT_GET_FD, &fd);
  pollfd socket{fd, events, 0};
  int ready = 0;
  do {
    ready = ::poll(&socket, 1, waits->seconds * 1000);
  } while (ready < 0 && errno == EINTR);
  if (ready != 0) return true;  // ready, or an error the read or write itself reports
  waits->ranOut = true;
  errno = ETIMEDOUT;
  return false;
}

int SetUpWaits(Sockbuf_IO_Desc* sbiod, void* waits) {
  sbiod->sbiod_pvt = waits;
  return 0;
}
int RemoveWaits(Sockbuf_IO_Desc*) {
  return 0;
}
int ControlBelowWaits(Sockbuf_IO_Desc* sbiod, int option, void* argument) {
  return LBER_SBIOD_CTRL_NEXT(sbiod, option, argument);
}
ber_slen_t ReadWithin(Sockbuf_IO_Desc* sbiod, void* buffer, ber_len_t size) {
  return WaitForSocket(sbiod, POLLIN) ? LBER_SBIOD_READ_NEXT(sbiod, buffer, size) : -1;
}
ber_slen_t WriteWithin(Sockbuf_IO_Desc* sbiod, void* buffer, ber_len_t size) {
  return WaitForSocket(sbiod, POLLOUT) ? LBER_SBIOD_WRITE_NEXT(sbiod, buffer, size) : -1;
}
// The socket's own layer closes it.
int CloseWaits(Sockbuf_IO_Desc*) {
  return 0;
}

Sockbuf_IO kWaitsLayer = {SetUpWaits, RemoveWaits, ControlBelowWaits,
                          ReadWithin, WriteWithin, CloseWaits};

// Called once the connection is made, before libldap adds the socket's own layer and TLS: one
// level above the socket's keeps the layer over it, under TLS.
int AddWaitsLayer(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*, ldap_conncb* callbacks) {
  static_cast<Waits*>(callbacks->lc_arg)->connected = true;
  return ber_sockbuf_add_io(sb, &kWaitsLayer, LBER_SBIOD_LEVEL_PROVIDER + 1, callbacks->lc_arg);
}
void ConnectionClosed(LDAP*, Sockbuf*, ldap_conncb*) {}

// `waits` must outlive `ld`.
bool Configure(LDAP* ld, Waits& waits) {
  const int version = LDAP_VERSION3;
  const timeval timeout{waits.seconds, 0};
  waits.callbacks = {AddWaitsLayer, ConnectionClosed, &waits};
  return ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) == LDAP_OPT_SUCCESS &&
         ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout) == LDAP_OPT_SUCCESS &&
         ldap_set_option(ld, LDAP_OPT_TIMEOUT, &timeout) == LDAP_OPT_SUCCESS &&
         ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) == LDAP_OPT_SUCCESS &&
         ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &waits.callbacks) == LDAP_OPT_SUCCESS;
}

// The server's certificate must be one the system trusts, whatever ldap.conf says.
bool ConfigureTls(LDAP* ld) {
  const int demand = LDAP_OPT_X_TLS_DEMAND;
  const int newContext = 0;
  return ldap_set_option(ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand) == LDAP_OPT_SUCCESS &&
         ldap_set_option(ld, LDAP_OPT_X_TLS_CACERTFILE, kSystemCAFile) == LDAP_OPT_SUCCESS &&
         ldap_set_option(ld, LDAP_OPT_X_TLS_NEWCTX, &newContext) == LDAP_OPT_SUCCESS;
}

// What a TLS connection that failed before any answer may have met; the TLS layer gives no
// reason of its own.
constexpr char kTlsHint[] =
    "; with TLS, the server's certificate must be one the system trusts, issued for the name "
    "in the address";

// Empty when bound; else why not. A refusal is told apart from a server that cannot be reached.
// On an ldaps:// connection the bind is the first exchange, so TLS fails there.
std::string Bind(LDAP* ld, const ServerAccess& access, bool ldaps, const Waits& waits) {
  berval credentials{access.password.size(), const_cast<char*>(access.password.data())};
  const int rc = ldap_sasl_bind_s(ld, access.bindDN.c_str(), LDAP_SASL_SIMPLE, &credentials,
                                  nullptr, nullptr, nullptr);
  if (rc == LDAP_SUCCESS) return "";
  const std::string reason = Describe(ld, rc, waits);
  if (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR) {
    return ldaps && waits.connected && !waits.ranOut ? reason + kTlsHint : reason;
  }
  if (rc < 0) return reason;  // libldap's own codes: no answer
  if (access.bindDN.empty()) return "anonymous bind refused: " + reason;
  return "bind as \"" + access.bindDN + "\" refused: " + reason;
}

// One base-scope search of `dn`; empty when `result` holds the answer, else why not.
std::string ReadEntry(LDAP* ld, const std::string& dn, const char* filter, const char* const* names,
                      const Waits& waits, Message& result) {
  timeval timeout{waits.seconds, 0};
  LDAPMessage* raw = nullptr;
  const int rc =
      ldap_search_ext_s(ld, dn.c_str(), LDAP_SCOPE_BASE, filter, const_cast<char**>(names), 0,
                        nullptr, nullptr, &timeout, 1, &raw);
  result.reset(raw);
  if (rc == LDAP_SUCCESS && ldap_first_entry(ld, raw) != nullptr) return "";
  const std::string entry = dn.empty() ? "the root DSE" : "the subschema entry \"" + dn + "\"";
  if (rc == LDAP_SUCCESS || rc == LDAP_NO_SUCH_OBJECT) return entry + " cannot be found";
  if (rc < 0) return Describe(ld, rc, waits);
  return entry + " cannot be read: " + Describe(ld, rc, waits);
}

std::vector<std::string> Values(LDAP* ld, LDAPMessage* result, const char* name) {
  std::vector<std::string> values;
  berval** found = ldap_get_values_len(ld, ldap_first_entry(ld, result), name);
  for (int i = 0; found != nullptr && found[i] != nullptr; ++i) {
    values.emplace_back(found[i]->bv_val, found[i]->bv_len);
  }
  ldap_value_free_len(found);
  return values;
}

// RFC 4512 5.1: the root DSE names the subschema entry that governs the directory.
std::string ReadDefinitions(LDAP* ld, const Waits& waits, ServerDefinitions& out) {
  const char* const rootNames[] = {"subschemaSubentry", nullptr};
  Message root;
  std::string reason = ReadEntry(ld, "", "(objectClass=*)", rootNames, waits, root);
  if (!reason.empty()) return reason;
  const std::vector<std::string> subschema = Values(ld, root.get(), "subschemaSubentry");
  if (subschema.empty()) return "its root DSE names no subschema entry (subschemaSubentry)";

  const char* const names[] = {"attributeTypes", "objectClasses", nullptr};
  Message entry;
  reason = ReadEntry(ld, subschema.front(), "(objectClass=subschema)", names, waits, entry);
  if (!reason.empty()) return reason;
  out.attributeTypes = Values(ld, entry.get(), "attributeTypes");
  out.objectClasses = Values(ld, entry.get(), "objectClasses");
  if (out.attributeTypes.empty() && out.objectClasses.empty()) {
    return "the subschema entry \"" + subschema.front() + "\" shows no definitions";
  }
  return "";
}

// Empty when `out` holds the server's definitions; else why not.
std::string ReadFromServer(const std::string& uri, const ServerAccess& access,
                           ServerDefinitions& out) {
  if (!IsServerAddress(uri)) return "not an ldap:// or ldaps:// address";
  const bool ldaps = StartsWithNoCase(uri, "ldaps://");
  if (ldaps && access.startTLS) return "StartTLS is for ldap://; ldaps:// is encrypted already";
  // A simple bind with a DN and no password is an unauthenticated bind, which some servers
  // take as anonymous: the schema read would not be the one the user's DN sees.
  if (!access.bindDN.empty() && access.password.empty()) return "the bind DN has no password";
  const PipeSignalIgnored pipeSignalIgnored;  // outlives the connection, which unbinds last
  Waits waits;                                // outlives the connection too
  waits.seconds = access.timeoutSeconds;
  LDAP* raw = nullptr;
  const int rc = ldap_initialize(&raw, uri.c_str());
  const Connection ld(raw);
  if (rc != LDAP_SUCCESS || !ld) return std::string("not a usable address: ") + ldap_err2string(rc);
  if (!Configure(ld.get(), waits)) return "libldap refused its options";
  if ((ldaps || access.startTLS) && !ConfigureTls(ld.get())) {
    return std::string("TLS cannot be set up with the system's certificates (") + kSystemCAFile +
           ")";
  }
  if (access.startTLS) {
    const int tls = ldap_start_tls_s(ld.get(), nullptr, nullptr);
    if (tls != LDAP_SUCCESS) {
      const std::string reason = "StartTLS failed: " + Describe(ld.get(), tls, waits);
      return tls == LDAP_CONNECT_ERROR && !waits.ranOut ? reason + kTlsHint : reason;
    }
  }
  const std::string refused = Bind(ld.get(), access, ldaps, waits);
  if (!refused.empty()) return refused;
  return ReadDefinitions(ld.get(), waits, out);
}

}  // namespace

bool IsServerAddress(const std::string& source) {
  return StartsWithNoCase(source, "ldap://") || StartsWithNoCase(source, "ldaps://");
}

bool ReadServerSchema(const std::string& uri, const ServerAccess& access, ServerDefinitions& out,
                      std::string& error) {
  out = ServerDefinitions();
  const std::string reason = ReadFromServer(uri, access, out);
  if (reason.empty()) return true;
  out = ServerDefinitions();
  error = "cannot read the schema of " + uri + ": " + reason;
  return false;
}

}  // namespace quorvane
