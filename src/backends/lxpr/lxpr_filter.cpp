// LXPR page output. Each page is sent as one label, every command framed by
// the command writer ("{" ... "|}" LF, or ESC ... LF NUL):
//   D<pitch>,<width>,<length>      label size in 0.1 mm
//   AX;+bbb,+ddd,+ff               feed, cut/strip and back-feed adjustment (optional)
//   AY;+aa,0 / AY;+aa,1            tone adjustment, transfer / direct (optional)
//   C                              clear
//   SG;x,y,width,height|dpi,type,data   graphic: type 1 raw rows, type 3 SKARN
//   XB00;0000,0000,r,T24,G0,V1,Bbb=data RFID writes (optional)
//   XS;I,copies,cut sensor mode speed method 0 0   issue
#include "backends/lxpr/lxpr_filter.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

#include "backends/lxpr/lxpr_status.h"
#include "imaging/bitmap_encoding.h"
#include "imaging/imaging_exception.h"
#include "jobcontrol/log.h"

namespace Quillfeather {
namespace {

using namespace LXPRCommands;

struct FeedAdjustment {
  const char* setting;
  const char* fragment;
  double minimum;
  double maximum;
};

constexpr std::array<FeedAdjustment, 3> kFeedAdjustments{{
    {"FeedAdjustment", "+bbb,", -50.0, 50.0},
    {"CutStripAdjustment", "+ddd,", -50.0, 50.0},
    {"BackFeedAdjustment", "+ff", -9.9, 9.9},
}};

struct ToneAdjustment {
  const char* setting;
  const char* command;
  int32_t minimum;
  int32_t maximum;
};

constexpr std::array<ToneAdjustment, 2> kToneAdjustments{{
    {"ToneAdjustmentThermalTransfer", "AY;+aa,0", -10, 10},
    {"ToneAdjustmentDirectThermal", "AY;+aa,1", -10, 10},
}};

constexpr int32_t kDefaultLabelGap = 20;

template <typename T, typename... A>
std::shared_ptr<const Argument> arg(A&&... a) {
  return std::make_shared<const T>(std::forward<A>(a)...);
}

bool isNegativeZero(const std::string& text) { return text == "-0" || text == "-0.0"; }

// value x 254 / divisor, in 0.1 mm; divisor is a resolution or 72 points per inch.
uint32_t toTenths(uint64_t value, uint32_t divisor) {
  return static_cast<uint32_t>(
      std::min<uint64_t>(value * 254 / divisor, std::numeric_limits<uint32_t>::max()));
}

uint32_t printMethodCode(const std::string& method) {
  if (method == "DirectThermal") return 0;
  if (method == "ThermalTransferRibbonSaving") return 1;
  if (method == "ThermalTransfer") return 2;
  if (method == "DirectThermalHeadUp") return 3;
  throw FilterException(
      "The filter is unable to determine whether to use direct or transfer thermal mode.");
}

// RFID data ends up inside a framed command; the framing characters or a
// control byte would end it early and let the rest run as printer commands.
bool isSafeCommandText(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || c == '{' || c == '|' || c == '}';
  });
}

}  // namespace

LXPRFilter::LXPRFilter(std::istream& input, std::ostream& output, const JobSettings& settings)
    : Filter(input, output, settings), writer_(this->output()) {
  printMethod_ = printMethodCode(this->settings().get("PrintMethod", ""));
  if (this->settings().get("CommandCharacters", "Readable") == "Unreadable") {
    writer_.useUnreadableFraming();
  }
}

bool LXPRFilter::queryStatus(int& status) {
  return queryLXPRStatus(kBackChannelDescriptor, status);
}

void LXPRFilter::send(std::string_view text, const ArgumentList& arguments) {
  writer_.begin();
  formatCommand(writer_.stream(), text, arguments);
  writer_.end();
}

void LXPRFilter::outputPage(const Tesselin::Bitmap& bitmap, const PageHeader& header) {
  const JobSettings& s = settings();

  int32_t gap = kDefaultLabelGap;
  if (!s.getCustomTenths("LabelGap", gap, 0.0)) {
    gap = kDefaultLabelGap;
    Log::debug() << "Unable to determine label gap, using " << kDefaultLabelGap << std::endl;
  }
  const uint32_t width = toTenths(header.PageSize[0], 72);
  const uint32_t length = toTenths(header.PageSize[1], 72);
  // A negative gap larger than the label would make the pitch negative. It is
  // clamped to zero rather than wrapped to a huge unsigned value, which would
  // feed the printer four billion tenths of a millimetre.
  const int64_t pitch = std::max<int64_t>(0, int64_t{length} + gap);
  send("Daaaa,bbbb,cccc", {arg<UIntegerArgument>(static_cast<uint32_t>(
                               std::min<int64_t>(pitch, std::numeric_limits<uint32_t>::max()))),
                           arg<UIntegerArgument>(width), arg<UIntegerArgument>(length)});

  sendFeedAdjustment();
  sendToneAdjustments();

  const uint32_t copies = header.NumCopies;
  const int32_t cut = s.getLong("CutInterval", 0);
  const auto speed = static_cast<uint32_t>(s.getLongLong("PrintSpeed", 3));
  const std::string sensorName = s.get("Sensor", "");
  const uint32_t sensor = sensorName == "Reflective" ? 1 : sensorName == "Transmissive" ? 2 : 0;
  const int32_t clampedCut = std::clamp(cut, 0, 999);

  send("C", {});
  sendGraphic(bitmap, header);
  sendRFIDWrites();

  char issueMode = 'C';
  if (cut < 1) {
    if (s.getBool("StripLabel", false)) issueMode = 'D';
  } else {
    const std::string module = s.get("CutModule", "None");
    if (module == "Partial") {
      issueMode = 'F';
    } else if (module == "Linerless") {
      issueMode = 'G';
    }
  }
  send("XS;I,aaaa,bbbcde$fgh",
       {arg<UIntegerArgument>(copies), arg<IntegerArgument>(clampedCut),
        arg<UIntegerArgument>(sensor), arg<StringArgument>(std::string(1, issueMode)),
        arg<UIntegerArgument>(speed), arg<UIntegerArgument>(printMethod_), arg<IntegerArgument>(0),
        arg<IntegerArgument>(0)});
}

void LXPRFilter::sendFeedAdjustment() {
  const JobSettings& s = settings();
  const bool wanted =
      std::any_of(kFeedAdjustments.begin(), kFeedAdjustments.end(), [&s](const FeedAdjustment& a) {
        double value = 0;
        return s.get(a.setting, "None") != "None" && s.tryGetDouble(a.setting, value);
      });
  if (!wanted) return;

  writer_.begin("AX;");
  for (const FeedAdjustment& a : kFeedAdjustments) {
    int32_t value = 0;
    if (!s.getCustomTenths(a.setting, value, 0.0)) {
      Log::debug() << "Model-specific range for " << a.setting
                   << " could not be determined - using default (" << a.minimum << ", " << a.maximum
                   << ")" << std::endl;
      value = s.getTenths(a.setting, a.minimum, a.maximum, 0.0);
    }
    if (isNegativeZero(s.get(a.setting, ""))) {
      formatCommand(writer_.stream(), a.fragment, {arg<NegativeZeroArgument>()});
    } else {
      formatCommand(writer_.stream(), a.fragment, {arg<IntegerArgument>(value)});
    }
  }
  writer_.end();
}

void LXPRFilter::sendToneAdjustments() {
  const JobSettings& s = settings();
  for (const ToneAdjustment& a : kToneAdjustments) {
    if (!s.contains(a.setting)) continue;
    int32_t minimum = a.minimum;
    int32_t maximum = a.maximum;
    if (!s.getLongRange(a.setting, minimum, maximum)) {
      Log::debug() << "Model-specific range for " << a.setting
                   << " could not be determined - using default (" << minimum << ", " << maximum
                   << ")" << std::endl;
    }
    const std::string text = s.get(a.setting, "");
    if (isNegativeZero(text)) {
      send(a.command, {arg<NegativeZeroArgument>()});
      continue;
    }
    if (text == "None") continue;
    int32_t value = 0;
    if (!s.tryGetLong(a.setting, value)) continue;
    if (value < minimum) {
      value = minimum;
    } else if (value > maximum) {
      value = maximum;
    }
    send(a.command, {arg<IntegerArgument>(value)});
  }
}

void LXPRFilter::sendGraphic(const Tesselin::Bitmap& bitmap, const PageHeader& header) {
  const Tesselin::Rect box = bitmap.boundingBox();
  if (box.right == 0 || box.bottom == 0) {
    Log::debug() << "Page " << pageCount() << " is blank" << std::endl;
    return;
  }
  if (header.HWResolution[0] == 0 || header.HWResolution[1] == 0) {
    std::ostringstream message;
    message << "Page " << pageCount() << " has the resolution " << header.HWResolution[0] << "x"
            << header.HWResolution[1] << " dpi; its graphic cannot be placed";
    throw FilterException(message.str());
  }
  const Tesselin::Bitmap cropped = Tesselin::Bitmap::crop(bitmap, box);
  const uint32_t x = toTenths(box.left, header.HWResolution[0]);
  const uint32_t y = toTenths(box.top, header.HWResolution[1]);

  std::string mode = settings().get("Compression", "Auto");
  std::vector<uint8_t> encoded;
  if (mode == "Auto" || mode == "SKARN") {
    try {
      encoded = Tesselin::encodeSkarn(cropped);
    } catch (const Tesselin::BitmapException& e) {
      // Too wide or too large for SKARN: automatic mode sends the rows as they are.
      if (mode == "SKARN") {
        std::ostringstream message;
        message << "Page " << pageCount() << " cannot be sent with SKARN compression: " << e.what();
        throw FilterException(message.str());
      }
      Log::debug() << "Compression mode is auto, SKARN is not possible (" << e.what()
                   << "), choosing None" << std::endl;
      mode = "None";
    }
    if (mode == "Auto") {
      mode = encoded.size() > cropped.dataSize() ? "None" : "SKARN";
      Log::debug() << "Compression mode is auto, SKARN is " << encoded.size()
                   << " bytes and uncompressed it is " << cropped.dataSize() << ", choosing "
                   << mode << std::endl;
    }
  }

  if (mode == "SKARN") {
    send(
        "SG;aaaa,bbbb,cccc,dddd,e,g/0",
        {arg<UIntegerArgument>(x), arg<UIntegerArgument>(y), arg<UIntegerArgument>(cropped.width()),
         arg<UIntegerArgument>(header.HWResolution[0] < 600 ? 300u : 600u),
         arg<CharacterArgument>('3'), arg<BufferArgument>(std::move(encoded))});
  } else {
    send(
        "SG;aaaa,bbbb,cccc,dddd,e,g/0",
        {arg<UIntegerArgument>(x), arg<UIntegerArgument>(y), arg<UIntegerArgument>(cropped.width()),
         arg<UIntegerArgument>(cropped.height()), arg<CharacterArgument>('1'),
         arg<BufferArgument>(std::span<const uint8_t>(cropped.data().data(), cropped.dataSize()))});
  }
}

void LXPRFilter::sendRFIDWrites() {
  struct Bank {
    const char* setting;
    int32_t number;
  };
  constexpr std::array<Bank, 2> kBanks{{{"RFIDUserMemData", 3}, {"RFIDEPCMemData", 1}}};
  // The command carries at most this many characters of the text; the rest is
  // never sent, so only these are checked.
  constexpr size_t kMaxRFIDCharacters = 512;
  const JobSettings& s = settings();
  for (size_t i = 0; i < kBanks.size(); ++i) {
    const Bank& bank = kBanks[i];
    if (!s.isCustom(bank.setting)) continue;
    const std::string data = s.get(bank.setting, "");
    if (data.empty()) continue;
    if (!isSafeCommandText(std::string_view(data).substr(0, kMaxRFIDCharacters))) {
      // The settings are the same for every label: say it once per job.
      if (!rfidRefusalLogged_[i]) {
        Log::warning() << bank.setting
                       << " contains a framing character or a control character; the RFID "
                          "write is not sent"
                       << std::endl;
        rfidRefusalLogged_[i] = true;
      }
      continue;
    }
    send("XBaa;bbbb,cccc,d,Tff,Gk,Vs,Btt=w/512",
         {arg<IntegerArgument>(0), arg<IntegerArgument>(0), arg<IntegerArgument>(0),
          arg<StringArgument>("r"), arg<IntegerArgument>(24), arg<IntegerArgument>(0),
          arg<IntegerArgument>(1), arg<IntegerArgument>(bank.number), arg<StringArgument>(data)});
  }
}

}  // namespace Quillfeather
