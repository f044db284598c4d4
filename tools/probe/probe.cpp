#include "probe.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "net/ddns.h"
#include "platform/core/message_target.h"
#include "protocol/text.h"
#include "session/dvr_session.h"

namespace lvprobe {
namespace {

using namespace lv;

bool ToInt(const std::string& text, int min, int max, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  *out = static_cast<int>(v);
  return true;
}

std::string Version(const std::array<std::atomic<std::uint8_t>, 4>& d) {
  return std::to_string(d[0].load()) + "." + std::to_string(d[1].load()) + "." + std::to_string(d[2].load()) + "." +
         std::to_string(d[3].load());
}

// Drives one session and remembers what was posted.
class Run {
 public:
  Run(const Options& o, std::FILE* out, std::FILE* err)
      : m_o(o), m_out(out), m_err(err), m_view([this](std::uint32_t m, WPARAM w, LPARAM l) { OnMessage(m, w, l); }) {
    m_session.m_hNotifyWnd = m_view.Handle();
    m_session.SetSite({u"", Utf8ToUtf16(o.address), o.port, Utf8ToUtf16(o.user), Utf8ToUtf16(o.password)});
  }
  ~Run() { m_session.Disconnect(); }

  int Go();

 private:
  struct Reply {
    bool seen = false;
    WPARAM w = 0;
    LPARAM l = 0;
  };
  void OnMessage(std::uint32_t msg, WPARAM w, LPARAM l) {
    switch (msg) {
      case WM_DVR_CONNECT_SOCKET:
        m_connected = true;
        m_session.BeginLogin();
        break;
      case WM_DVR_CLOSE_SOCKET: m_dropped = true; break;
      case WM_DVR_CONNECT_FAIL: m_connectFail = static_cast<int>(w); break;
      case WM_DVR_REPLAY_LOGIN: m_login = {true, w, l}; break;
      case WM_DVR_RESP_CH_OPEN: m_open = {true, w, l}; break;
      case WM_DVR_RESP_CH_CLOSE: m_close = {true, w, l}; break;
      default: break;
    }
  }
  // Runs the event loop until done() or the deadline; false on timeout.
  bool Wait(const std::function<bool()>& done) {
    while (!done()) {
      if (m_deadline.hasExpired()) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      QThread::msleep(1);
    }
    return true;
  }
  int Fail(int status, const std::string& line) {
    std::fprintf(m_err, "lorventa-probe: %s\n", line.c_str());
    return status;
  }
  int PickChannel() const;
  int SavePictures(int channel);

  const Options& m_o;
  std::FILE* m_out;
  std::FILE* m_err;
  CDvrSession m_session;
  MessageTarget m_view;
  QDeadlineTimer m_deadline;
  bool m_connected = false;
  bool m_dropped = false;
  int m_connectFail = 0;  // the error of a connect that could not complete
  Reply m_login, m_open, m_close;
};

int Run::PickChannel() const { return m_session.FirstChannelToOpen(); }

int Run::Go() {
  m_deadline = QDeadlineTimer(static_cast<qint64>(m_o.timeoutSeconds) * 1000);
  const std::string where = m_o.address + ":" + std::to_string(m_o.port);
  if (!m_session.TryConnect_DVR()) return Fail(kConnectFailed, "cannot connect to " + where + ": invalid port");
  // Names and DVR identifiers are looked up first; every outcome is posted.
  if (!Wait([&] { return m_connected || m_connectFail != 0; }) || !m_connected) {
    const int code = m_connectFail;
    if (code == kErrHostNotFound) {
      if (ClassifyAddress(m_session.m_strAddress) == AddressKind::DdnsId)
        return Fail(kDdnsFailed, "DDNS lookup of '" + m_o.address + "' failed (server " + DdnsHost() + ":" +
                                     std::to_string(DdnsPort()) + ")");
      return Fail(kLookupFailed, "name lookup of '" + m_o.address + "' failed");
    }
    return Fail(kConnectFailed, "cannot connect to " + where + (code == kErrConnRefused ? ": connection refused"
                                                               : code == 0 ? ": timed out"
                                                                           : ": error " + std::to_string(code)));
  }
  if (!Wait([&] { return m_login.seen || m_dropped; }))
    return Fail(kTimedOut, "no login reply from " + where);
  if (!m_login.seen) return Fail(kDropped, "connection to " + where + " dropped during login");
  const auto loginResult = static_cast<std::uint32_t>(m_login.l);
  if (loginResult != kResultOk) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", loginResult);
    return Fail(kAccountRejected, "account '" + m_o.user + "' rejected (result " + hex + ")");
  }

  std::fprintf(m_out, "site          %s\n", where.c_str());
  std::fprintf(m_out, "hardware type %d\n", m_session.m_nHwType.load());
  std::fprintf(m_out, "channels      %d\n", m_session.m_nMaxChannel.load());
  std::fprintf(m_out, "os version    %s (%d)\n", Version(m_session.m_OsVer).c_str(), m_session.m_nOsVersion.load());
  std::fprintf(m_out, "protocol      %s (%d)\n", Version(m_session.m_ProtoVer).c_str(),
               m_session.m_nProtoVersion.load());
  std::fprintf(m_out, "channel  camera  ptz  locked  function\n");
  for (int ch = 0; ch < kMaxChannels; ++ch)
    std::fprintf(m_out, "%7d  %6d  %3d  %6d  %8d\n", ch + 1, m_session.m_bCamera[ch].load(),
                 m_session.m_bPTZ[ch].load(), m_session.m_bLock[ch].load(), m_session.m_bFunction[ch].load());

  const int channel = m_o.channel >= 0 ? m_o.channel : PickChannel();
  if (channel < 0) return Fail(kNoCamera, "no channel with a camera that this account may watch");
  m_session.OpenChannel(static_cast<std::uint8_t>(channel));
  if (!Wait([&] { return m_open.seen || m_dropped; }))
    return Fail(kTimedOut, "no reply to opening channel " + std::to_string(channel + 1));
  if (!m_open.seen) return Fail(kDropped, "connection dropped while opening channel " + std::to_string(channel + 1));
  const auto openResult = static_cast<std::uint32_t>(m_open.l);
  if (openResult != kResultOk) {
    if (ResultReason(openResult) == kReasonNoPermission)
      return Fail(kNoPermission, "no permission for channel " + std::to_string(channel + 1));
    return Fail(kNoCamera, "no camera on channel " + std::to_string(channel + 1));
  }
  std::fprintf(m_out, "opened channel %d\n", channel + 1);
  const int status = SavePictures(channel);
  if (status == kOk) {
    m_session.CloseChannel(m_session.m_nCurrentCH.load());
    Wait([&] { return m_close.seen || m_dropped; });
  }
  return status;
}

int Run::SavePictures(int channel) {
  std::error_code ec;
  std::filesystem::create_directories(m_o.outDir, ec);
  int saved = 0;
  while (saved < m_o.frames) {
    ChannelRef record;
    FrameRef frame;
    const bool got = Wait([&] {
      if (m_dropped) return true;
      record = m_session.m_ChannelTable.First();
      return record && (frame = record->frames->TakeHead()) != nullptr;
    });
    if (!got) return Fail(kTimedOut, "got " + std::to_string(saved) + " of " + std::to_string(m_o.frames) + " pictures");
    if (!frame) return Fail(kDropped, "connection dropped after " + std::to_string(saved) + " pictures");
    const bool jpeg = frame->size >= 2 && frame->data[0] == 0xFF && frame->data[1] == 0xD8;
    char name[96];
    std::snprintf(name, sizeof name, "ch%02d_%08u_%06u_%03d.%s", channel + 1, record->date.load(), frame->time,
                  saved + 1, jpeg ? "jpg" : "img");
    const std::filesystem::path path = std::filesystem::path(m_o.outDir) / name;
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(frame->data), frame->size);
    if (!file) return Fail(kOutputFailed, "cannot write " + path.string());
    std::fprintf(m_out, "picture %d  %ux%u  %u bytes  date %08u time %06u  %s\n", saved + 1, frame->width,
                 frame->height, frame->size, record->date.load(), frame->time, path.string().c_str());
    ++saved;
  }
  return kOk;
}

}  // namespace

std::string Usage() {
  return "Usage: lorventa-probe ADDRESS PORT USER [PASSWORD | --password-file FILE] [--channel N]\n"
         "                      [--frames K] [--out DIR] [--timeout S] [--ddns HOST[:PORT]]\n"
         "Logs in to one DVR site, opens a channel and saves its pictures.\n"
         "  ADDRESS   dotted IPv4 address, host name, or DVR identifier (no dot) for DDNS\n"
         "  PASSWORD  shows in the process list; prefer --password-file\n"
         "  --password-file FILE  the password is the file's first line (- for standard input)\n"
         "  --channel N   channel to open, 1..16 (default: the first one the site view opens)\n"
         "  --frames K    pictures to save (default 1)\n"
         "  --out DIR     where to save them (default .)\n"
         "  --timeout S   seconds allowed for each step (default 10)\n"
         "  --ddns HOST[:PORT]  DDNS server (default " +
         std::string(kDdnsHost) + ":" + std::to_string(kDdnsPort) +
         ")\n"
         "  --help        print this text and exit\n"
         "  --version     print the version and exit\n"
         "Exit status:\n"
         "  0 ok, 1 usage, 2 name lookup failed, 3 DDNS failed, 4 connection refused or timed out,\n"
         "  5 account rejected, 6 no permission, 7 no camera, 8 connection dropped, 9 no answer in time,\n"
         "  10 pictures could not be written\n";
}

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string* error) {
  Options o;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= args.size()) {
        *error = a + " needs a value";
        return false;
      }
      *v = args[++i];
      return true;
    };
    // An integer option within [min, max]; false with *error set otherwise.
    auto number = [&](int min, int max, int* out) {
      std::string v;
      if (!value(&v)) return false;
      if (ToInt(v, min, max, out)) return true;
      *error = a + " takes a number from " + std::to_string(min) + " to " + std::to_string(max);
      return false;
    };
    std::string v;
    if (a == "--channel") {
      int ch;
      if (!number(1, 16, &ch)) return std::nullopt;
      o.channel = ch - 1;
    } else if (a == "--frames") {
      if (!number(0, 100000, &o.frames)) return std::nullopt;
    } else if (a == "--timeout") {
      if (!number(1, 3600, &o.timeoutSeconds)) return std::nullopt;
    } else if (a == "--out") {
      if (!value(&o.outDir)) return std::nullopt;
    } else if (a == "--password-file") {
      if (!value(&o.passwordFile)) return std::nullopt;
    } else if (a == "--ddns") {
      if (!value(&v)) return std::nullopt;
      const auto server = ParseDdnsServer(v, error);
      if (!server) return std::nullopt;
      o.ddnsHost = server->host;
      o.ddnsPort = server->port;
    } else if (a.rfind("--", 0) == 0) {
      *error = "unknown option " + a;
      return std::nullopt;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() < 3 || positional.size() > 4) {
    *error = "ADDRESS, PORT and USER are needed";
    return std::nullopt;
  }
  o.address = positional[0];
  if (!ToInt(positional[1], 1, 65535, &o.port)) {
    *error = "PORT must be 1..65535";
    return std::nullopt;
  }
  o.user = positional[2];
  if (positional.size() == 4) o.password = positional[3];
  if (positional.size() == 4 && !o.passwordFile.empty()) {
    *error = "PASSWORD and --password-file exclude each other";
    return std::nullopt;
  }
  return o;
}

bool ReadPasswordFile(Options* options, std::FILE* in, std::string* error) {
  if (options->passwordFile.empty()) return true;
  const bool useIn = options->passwordFile == "-";
  std::FILE* file = useIn ? in : std::fopen(options->passwordFile.c_str(), "rb");
  std::string line;
  bool gotLine = false;
  if (file) {
    for (int c; (c = std::fgetc(file)) != EOF;) {
      gotLine = true;
      if (c == '\n') break;
      line += static_cast<char>(c);
    }
    if (!useIn) std::fclose(file);
  }
  if (!gotLine) {
    *error = "cannot read a password from " + (useIn ? std::string("standard input") : options->passwordFile);
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  options->password = line;
  return true;
}

int RunProbe(const Options& options, std::FILE* out, std::FILE* err) {
  if (options.ddnsHost) SetDdnsServer(*options.ddnsHost, options.ddnsPort.value_or(kDdnsPort));
  Run run(options, out, err);
  return run.Go();
}

}  // namespace lvprobe
