#include "cupsd_sandbox.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace OrnTest {
namespace {

void openUp(const fs::path& path) {  // CUPS's unprivileged user may enter and read it
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

void linkEntries(const fs::path& from, const fs::path& to, const std::string& except) {
  if (!fs::is_directory(from)) return;
  for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
    const fs::path name = entry.path().filename();
    if (name != except) fs::create_symlink(entry.path(), to / name);
  }
}

// With port 0 a free port (bound and let go), otherwise the port when it accepts connections.
int loopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t length = sizeof address;
  auto* a = reinterpret_cast<sockaddr*>(&address);
  int result = -1;
  if (port != 0) {
    result = connect(fd, a, sizeof address) == 0 ? port : -1;
  } else if (bind(fd, a, sizeof address) == 0 && getsockname(fd, a, &length) == 0) {
    result = ntohs(address.sin_port);
  }
  close(fd);
  return result;
}

}  // namespace

TempFolder::TempFolder() : path("/tmp/orn-cupsd-XXXXXX") {
  if (mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  openUp(path);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (std::getenv("ORN_KEEP_CUPSD_SANDBOX") == nullptr) fs::remove_all(path, ignored);
}

std::string cupsConfig(const std::string& flag, const std::string& fallback) {
  const std::string program = findProgram("cups-config");
  if (program.empty()) return fallback;
  const CommandResult r = runCommand({program, flag});
  const std::string path = r.output.substr(0, r.output.find('\n'));
  return r.exitStatus == 0 && fs::is_directory(path) ? path : fallback;
}

std::string CupsdSandbox::cupsdPath() { return findProgram("cupsd"); }

CupsdSandbox::CupsdSandbox(const CupsdSandboxSettings& settings) {
  const fs::path root(tree_.path);
  for (const char* folder : {"conf/ppd", "spool/tmp", "cache", "state", "log", "serverbin/filter",
                             "serverbin/backend", "serverbin/daemon", "data/model", "out"}) {
    fs::create_directories(root / folder);
    for (fs::path p = folder; !p.empty(); p = p.parent_path()) openUp(root / p);
  }
  const fs::path serverBin = cupsConfig("--serverbin", "/usr/lib/cups");
  for (const char* folder : {"filter", "backend", "daemon"}) {
    linkEntries(serverBin / folder, root / "serverbin" / folder, "rastertoorn");
  }
  // A copy, not a link: the build tree may lie where CUPS's user cannot go.
  fs::copy_file(settings.filterPath, root / "serverbin/filter/rastertoorn");
  openUp(root / "serverbin/filter/rastertoorn");
  const fs::path dataDir = cupsConfig("--datadir", "/usr/share/cups");
  linkEntries(dataDir, root / "data", "model");
  linkEntries(dataDir / "model", root / "data/model", "orn");
  if (!settings.modelDir.empty()) fs::create_symlink(settings.modelDir, root / "data/model/orn");
}

CupsdSandbox::~CupsdSandbox() {
  if (cupsd_) cupsd_->stop(std::chrono::seconds(10));
}

void CupsdSandbox::start(std::chrono::seconds timeout) {
  port_ = loopback(0);
  const std::string& r = tree_.path;
  // CUPS runs filters as lp when started as root, otherwise as the test's own user; the system
  // group, for administration, must be another group.
  const bool root = getuid() == 0;
  std::ofstream(r + "/conf/cups-files.conf")
      << "ServerRoot " << r << "/conf\nRequestRoot " << r << "/spool\nTempDir " << r
      << "/spool/tmp\nCacheDir " << r << "/cache\nStateDir " << r << "/state\nServerBin " << r
      << "/serverbin\nDataDir " << r << "/data\nDocumentRoot " << r << "/data/doc-root\nErrorLog "
      << r << "/log/error_log\nAccessLog " << r << "/log/access_log\nPageLog " << r
      << "/log/page_log\nPrintcap " << r << "/state/printcap\nUser "
      << (root ? "lp" : getpwuid(getuid())->pw_name) << "\nGroup "
      << (root ? "lp" : getgrgid(getgid())->gr_name) << "\nSystemGroup root\nFileDevice Yes\n";
  std::ofstream(r + "/conf/cupsd.conf")
      << "LogLevel debug\nMaxLogSize 0\nListen 127.0.0.1:" << port_
      << "\nBrowsing No\nBrowseLocalProtocols none\nWebInterface No\nDefaultAuthType None\n"
         "ErrorPolicy abort-job\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
         "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
  cupsd_ = std::make_unique<BackgroundProcess>(
      std::vector<std::string>{cupsdPath(), "-f", "-c", r + "/conf/cupsd.conf", "-s",
                               r + "/conf/cups-files.conf"},
      r + "/log/cupsd.out");
  for (const auto deadline = std::chrono::steady_clock::now() + timeout;
       cupsd_->running() && std::chrono::steady_clock::now() < deadline;) {
    if (loopback(port_) == port_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  cupsd_.reset();
  throw std::runtime_error("cupsd did not start:\n" + fileContents(r + "/log/cupsd.out") +
                           errorLog());
}

CommandResult CupsdSandbox::client(const std::string& program,
                                   std::vector<std::string> arguments) const {
  arguments.insert(arguments.begin(), findProgram(program));
  return runCommand(arguments,
                    {{"CUPS_SERVER", "127.0.0.1:" + std::to_string(port_)}, {"LC_ALL", "C"}});
}

int CupsdSandbox::submit(const std::string& queue, const std::string& file,
                         const std::vector<std::string>& options) const {
  std::vector<std::string> arguments = {"-d", queue, "-t", "Integration label"};
  for (const std::string& option : options) arguments.insert(arguments.end(), {"-o", option});
  arguments.push_back(file);
  const CommandResult result = client("lp", arguments);
  const std::string answer = "request id is " + queue + "-";
  const size_t at = result.output.find(answer);
  const int id =
      at == std::string::npos ? 0 : std::atoi(result.output.c_str() + at + answer.size());
  if (result.exitStatus != 0 || id <= 0) throw std::runtime_error("lp failed: " + result.output);
  return id;
}

ipp_jstate_t CupsdSandbox::waitForJob(int job,
                                      std::chrono::steady_clock::time_point deadline) const {
  http_t* http =
      httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
  if (http == nullptr) return IPP_JSTATE_PENDING;
  httpSetTimeout(http, 10.0, nullptr, nullptr);  // a scheduler that hangs fails the request
  ipp_jstate_t state = IPP_JSTATE_PENDING;
  while (state < IPP_JSTATE_STOPPED && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(http, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    for (int i = 0; i < count; ++i) {
      if (jobs[i].id == job) state = jobs[i].state;
    }
    cupsFreeJobs(count, jobs);
  }
  httpClose(http);
  return state >= IPP_JSTATE_STOPPED ? state : IPP_JSTATE_PENDING;
}

std::string CupsdSandbox::errorLog() const { return fileContents(tree_.path + "/log/error_log"); }

std::string CupsdSandbox::jobLog(int job) const {
  std::string log;
  for (const std::string& line : lines(errorLog())) {
    if (line.find("[Job " + std::to_string(job) + "] ") != std::string::npos) log += line + "\n";
  }
  return log;
}

}  // namespace OrnTest
