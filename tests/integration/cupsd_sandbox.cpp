#include "cupsd_sandbox.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace OrnTest {

namespace {

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

// A folder that CUPS's unprivileged user may enter and read.
void makeFolder(const fs::path& path) {
  fs::create_directories(path);
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

// What `cups-config FLAG` says, or the fallback.
std::string cupsConfig(const std::string& flag, const std::string& fallback) {
  const std::string program = findProgram("cups-config");
  if (program.empty()) return fallback;
  CommandResult result = runCommand({program, flag}, {}, std::chrono::seconds(20));
  while (!result.output.empty() && std::isspace(static_cast<unsigned char>(result.output.back()))) {
    result.output.pop_back();
  }
  return result.exitStatus == 0 && fs::is_directory(result.output) ? result.output : fallback;
}

// Links every entry of `from` into `to`, except the names given.
void linkEntries(const fs::path& from, const fs::path& to,
                 const std::vector<std::string>& except = {}) {
  if (!fs::is_directory(from)) return;
  for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
    const std::string name = entry.path().filename().string();
    if (std::find(except.begin(), except.end(), name) != except.end()) continue;
    fs::create_symlink(entry.path(), to / name);
  }
}

int freeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("no free loopback port");
  }
  close(fd);
  return ntohs(address.sin_port);
}

bool accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// CUPS runs filters as this user and group; as root that is lp, otherwise the test's own user.
// (The system group, for administration, must be another group: root.)
std::pair<std::string, std::string> runUser() {
  if (getuid() == 0) return {"lp", "lp"};
  const passwd* user = getpwuid(getuid());
  const group* primary = getgrgid(getgid());
  if (user == nullptr || primary == nullptr) throw std::runtime_error("unknown user");
  return {user->pw_name, primary->gr_name};
}

}  // namespace

std::string CupsdSandbox::cupsdPath() { return findProgram("cupsd"); }

CupsdSandbox::CupsdSandbox(const CupsdSandboxSettings& settings) {
  // As root the tree must be reachable by lp: /tmp is, a private TMPDIR may not be.
  const fs::path base = getuid() == 0 ? fs::path("/tmp") : fs::temp_directory_path();
  std::string pattern = (base / "orn-cupsd-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  const fs::path root(root_);
  for (const char* folder :
       {"", "conf", "conf/ppd", "spool", "spool/tmp", "cache", "state", "log", "serverbin/filter",
        "serverbin/backend", "serverbin/daemon", "data/model", "out"}) {
    makeFolder(root / folder);
  }

  const fs::path serverBin = cupsConfig("--serverbin", "/usr/lib/cups");
  for (const char* folder : {"filter", "backend", "daemon"}) {
    linkEntries(serverBin / folder, root / "serverbin" / folder, {"rastertoorn"});
  }
  // A copy, not a link: the build tree may lie where CUPS's user cannot go.
  const fs::path filter = root / "serverbin/filter/rastertoorn";
  fs::copy_file(settings.filterPath, filter);
  fs::permissions(filter, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);

  const fs::path dataDir = cupsConfig("--datadir", "/usr/share/cups");
  linkEntries(dataDir, root / "data", {"model"});
  linkEntries(dataDir / "model", root / "data/model", {"orn"});
  if (!settings.modelDir.empty()) fs::create_symlink(settings.modelDir, root / "data/model/orn");
}

CupsdSandbox::~CupsdSandbox() {
  stop();
  if (std::getenv("ORN_KEEP_CUPSD_SANDBOX") == nullptr) {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
}

void CupsdSandbox::writeConfiguration() {
  const auto [user, group] = runUser();
  std::ostringstream files;
  files << "ServerRoot " << root_ << "/conf\n"
        << "RequestRoot " << root_ << "/spool\n"
        << "TempDir " << root_ << "/spool/tmp\n"
        << "CacheDir " << root_ << "/cache\n"
        << "StateDir " << root_ << "/state\n"
        << "ServerBin " << root_ << "/serverbin\n"
        << "DataDir " << root_ << "/data\n"
        << "DocumentRoot " << root_ << "/data/doc-root\n"
        << "ErrorLog " << root_ << "/log/error_log\n"
        << "AccessLog " << root_ << "/log/access_log\n"
        << "PageLog " << root_ << "/log/page_log\n"
        << "Printcap " << root_ << "/state/printcap\n"
        << "User " << user << "\nGroup " << group << "\nSystemGroup root\n"
        << "FileDevice Yes\n";
  writeFile(fs::path(root_) / "conf/cups-files.conf", files.str());

  std::ostringstream daemon;
  daemon << "LogLevel debug\nMaxLogSize 0\n"
         << "Listen 127.0.0.1:" << port_ << "\n"
         << "Browsing No\nBrowseLocalProtocols none\nWebInterface No\n"
         << "DefaultAuthType None\nErrorPolicy abort-job\n"
         << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
         << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
  writeFile(fs::path(root_) / "conf/cupsd.conf", daemon.str());
}

void CupsdSandbox::start(std::chrono::seconds timeout) {
  const std::string cupsd = cupsdPath();
  if (cupsd.empty()) throw std::runtime_error("cupsd is not installed");
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string failure;
  // The port was free a moment ago; should another program take it first, try another one.
  for (int attempt = 0; attempt < 3; ++attempt) {
    port_ = freeLoopbackPort();
    writeConfiguration();
    cupsd_ = std::make_unique<BackgroundProcess>(
        std::vector<std::string>{cupsd, "-f", "-c", root_ + "/conf/cupsd.conf", "-s",
                                 root_ + "/conf/cups-files.conf"},
        root_ + "/log/cupsd.out");
    while (std::chrono::steady_clock::now() < deadline) {
      if (!cupsd_->running()) break;
      if (accepts(port_)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    failure = readFile(fs::path(root_) / "log/cupsd.out") + errorLog();
    cupsd_.reset();
    if (failure.find("Unable to bind") == std::string::npos) break;
  }
  throw std::runtime_error("cupsd did not start:\n" + failure);
}

void CupsdSandbox::stop() {
  if (cupsd_) cupsd_->stop(std::chrono::seconds(10));
  cupsd_.reset();
}

CommandResult CupsdSandbox::client(const std::string& program, std::vector<std::string> arguments,
                                   std::chrono::seconds timeout) const {
  const std::string path = findProgram(program);
  if (path.empty()) return {-1, false, program + " is not installed"};
  arguments.insert(arguments.begin(), path);
  return runCommand(
      arguments, {{"CUPS_SERVER", "127.0.0.1:" + std::to_string(port_)}, {"LC_ALL", "C"}}, timeout);
}

int CupsdSandbox::submit(const std::string& queue, const std::string& file,
                         const std::string& title, const std::vector<std::string>& options) const {
  std::vector<std::string> arguments = {"-d", queue, "-t", title};
  for (const std::string& option : options) {
    arguments.push_back("-o");
    arguments.push_back(option);
  }
  arguments.push_back(file);
  const CommandResult result = client("lp", arguments);
  const std::string answer = "request id is " + queue + "-";
  const size_t at = result.output.find(answer);
  const size_t digits = at == std::string::npos ? 0 : at + answer.size();
  if (result.exitStatus != 0 || at == std::string::npos || digits >= result.output.size() ||
      !std::isdigit(static_cast<unsigned char>(result.output[digits]))) {
    throw std::runtime_error("lp failed for " + queue + ": " + result.output);
  }
  return std::atoi(result.output.c_str() + digits);
}

ipp_jstate_t CupsdSandbox::waitForJob(int job,
                                      std::chrono::steady_clock::time_point deadline) const {
  http_t* http =
      httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
  if (http == nullptr) return IPP_JSTATE_PENDING;
  // A scheduler that stops answering fails the request instead of blocking the test.
  httpSetTimeout(http, 10.0, nullptr, nullptr);
  ipp_jstate_t state = IPP_JSTATE_PENDING;
  while (std::chrono::steady_clock::now() < deadline) {
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(http, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    for (int i = 0; i < count; ++i) {
      if (jobs[i].id == job) state = jobs[i].state;
    }
    cupsFreeJobs(count, jobs);
    if (state >= IPP_JSTATE_STOPPED) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  httpClose(http);
  return state >= IPP_JSTATE_STOPPED ? state : IPP_JSTATE_PENDING;
}

std::string CupsdSandbox::errorLog() const { return readFile(fs::path(root_) / "log/error_log"); }

std::vector<std::string> CupsdSandbox::jobLog(int job) const {
  std::vector<std::string> lines;
  std::istringstream in(errorLog());
  const std::string tag = "[Job " + std::to_string(job) + "] ";
  for (std::string line; std::getline(in, line);) {
    if (line.find(tag) != std::string::npos) lines.push_back(line);
  }
  return lines;
}

}  // namespace OrnTest
