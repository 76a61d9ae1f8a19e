// Page output for the KT-RN8Q. A job is
//   initialise, thermal mode,
//   per page: [page height on page 1], printing side, raster rows with blank
//   runs sent as feeds (trailing blank rows dropped), and the print command
//   once a sheet is complete, followed by a knife cut in EveryPage mode,
//   at the end: the print command for a sheet that only has its front, and a
//   knife cut in EndOfDocument mode.
// The command bytes are built in ktrn8q_commands.cpp.
#include "backends/ktrn8q/ktrn8q_filter.h"

#include <algorithm>

#include "backends/ktrn8q/ktrn8q_back_channel.h"
#include "jobcontrol/log.h"

namespace Quillfeather {
namespace {

// Commands are handed to the output stream once this much has collected.
constexpr std::size_t kFlushBytes = 64 * 1024;

KTRN8QFilter::TwoSidedMode readTwoSidedMode(const JobSettings& settings) {
  const std::string text = settings.get("Duplex", "None");
  if (text == "None") return KTRN8QFilter::TwoSidedMode::None;
  if (text == "DuplexNoTumble") return KTRN8QFilter::TwoSidedMode::DuplexNoTumble;
  if (text == "DuplexTumble") return KTRN8QFilter::TwoSidedMode::DuplexTumble;
  Log::warning() << "Unable to determine two-sided printing mode, defaulting to front-only"
                 << std::endl;
  return KTRN8QFilter::TwoSidedMode::None;
}

KTRN8QFilter::CuttingMode readCuttingMode(const JobSettings& settings) {
  const std::string text = settings.get("CuttingMode", "None");
  if (text == "None") return KTRN8QFilter::CuttingMode::None;
  if (text == "EveryPage") return KTRN8QFilter::CuttingMode::EveryPage;
  if (text == "EndOfDocument") return KTRN8QFilter::CuttingMode::EndOfDocument;
  Log::warning() << "Unable to detemrine cutting mode, defaulting to none" << std::endl;
  return KTRN8QFilter::CuttingMode::None;
}

const char* sideName(ktrn8q::Side side) { return side == ktrn8q::Side::Back ? "back" : "front"; }

}  // namespace

KTRN8QFilter::KTRN8QFilter(std::istream& input, std::ostream& output, const JobSettings& settings)
    : Filter(input, output, settings),
      twoSidedMode_(readTwoSidedMode(this->settings())),
      printOnBackOnly_(this->settings().get("PrintOnBackOnly", "False") == "True"),
      cuttingMode_(readCuttingMode(this->settings())) {}

bool KTRN8QFilter::queryStatus(int& status) {
  return ktrn8q::queryPrinterStatus(ktrn8q::kBackChannelDescriptor, ktrn8q::kBackChannelTimeout,
                                    status);
}

void KTRN8QFilter::startJob() {
  Log::debug() << "Initialising printer" << std::endl;
  ktrn8q::appendInitialise(buffer_);
  ktrn8q::ThermalMode mode = ktrn8q::ThermalMode::SimplexFront;
  if (twoSidedMode_ != TwoSidedMode::None) {
    Log::debug() << "Setting thermal printing mode to duplex" << std::endl;
    mode = ktrn8q::ThermalMode::Duplex;
  } else if (printOnBackOnly_) {
    Log::debug() << "Setting thermal printing mode to simplex (back only)" << std::endl;
    mode = ktrn8q::ThermalMode::SimplexBack;
  } else {
    Log::debug() << "Setting thermal printing mode to simplex (front only)" << std::endl;
  }
  ktrn8q::appendThermalMode(buffer_, mode);
  flushBuffer();
}

ktrn8q::Side KTRN8QFilter::currentSide() const {
  switch (twoSidedMode_) {
    case TwoSidedMode::None:
      return printOnBackOnly_ ? ktrn8q::Side::Back : ktrn8q::Side::Front;
    case TwoSidedMode::DuplexNoTumble:
    case TwoSidedMode::DuplexTumble:
      return pageCount() % 2 == 1 ? ktrn8q::Side::Front : ktrn8q::Side::Back;
  }
  throw InternalInconsistencyException("Unknown two-sided printing mode");
}

void KTRN8QFilter::sendPrintingSide(ktrn8q::Side side) {
  Log::debug() << "Setting printing side to " << sideName(side) << std::endl;
  ktrn8q::appendPrintingSide(buffer_, side);
}

void KTRN8QFilter::sendPrint() {
  const bool duplex = twoSidedMode_ != TwoSidedMode::None;
  Log::debug() << (duplex ? "Issuing duplex print command" : "Issuing simplex print command")
               << std::endl;
  ktrn8q::appendPrint(buffer_, duplex);
}

void KTRN8QFilter::sendKnifeCut() {
  Log::debug() << "Performing knife cut" << std::endl;
  ktrn8q::appendKnifeCut(buffer_);
}

void KTRN8QFilter::outputPage(const Tesselin::Bitmap& bitmap, const PageHeader& header) {
  if (pageCount() == 1) {
    firstPageHeight_ = header.cupsHeight;
    // The command holds 16 bits; a taller page is announced as the tallest
    // the printer can be told rather than as the height modulo 65536.
    const uint16_t height = static_cast<uint16_t>(std::min<uint32_t>(firstPageHeight_, 0xFFFF));
    if (height != firstPageHeight_) {
      Log::warning() << "The page height of " << firstPageHeight_
                     << " rows exceeds the printer's limit of 65535 rows" << std::endl;
    }
    Log::debug() << "Setting page height: " << height << std::endl;
    ktrn8q::appendPageHeight(buffer_, height);
  } else if (header.cupsHeight != firstPageHeight_) {
    Log::warning() << "The document contains pages of varying heights, the result may not be "
                      "accurate."
                   << std::endl;
  }

  const ktrn8q::Side side = currentSide();
  Log::debug() << "Printing page " << pageCount() << " on the " << sideName(side) << std::endl;
  sendPrintingSide(side);
  sendRows(bitmap);

  if (twoSidedMode_ == TwoSidedMode::None || side == ktrn8q::Side::Back) {
    sendPrint();
    if (cuttingMode_ == CuttingMode::EveryPage) sendKnifeCut();
  }
  flushBuffer();
}

void KTRN8QFilter::sendRows(const Tesselin::Bitmap& bitmap) {
  const std::size_t bytesPerRow = bitmap.bytesPerRow();
  const ktrn8q::RowGeometry geometry = ktrn8q::rowGeometry(bytesPerRow);
  Log::debug() << "Total padding: " << geometry.left + geometry.right << " bytes (meaning "
               << geometry.left << " on the left and " << geometry.right << " on the right)"
               << std::endl;

  const uint32_t height = bitmap.height();
  uint32_t row = 0;
  while (row < height) {
    if (bitmap.isRowEmpty(row)) {
      uint32_t end = row + 1;
      while (end < height && bitmap.isRowEmpty(end)) ++end;
      if (end == height) break;  // trailing blank rows are not sent
      ktrn8q::appendFeed(buffer_, end - row);
      row = end;
      continue;
    }
    ktrn8q::appendRasterRow(buffer_, bitmap.row(row), geometry);
    if (buffer_.size() >= kFlushBytes) flushBuffer();
    ++row;
  }
}

bool KTRN8QFilter::needsTumble() {
  return twoSidedMode_ == TwoSidedMode::DuplexTumble && pageCount() % 2 == 0;
}

void KTRN8QFilter::endJob() {
  if (twoSidedMode_ != TwoSidedMode::None && pageCount() % 2 == 1) {
    // The last sheet has only its front; print it with an empty back.
    sendPrintingSide(ktrn8q::Side::Back);
    sendPrint();
    if (cuttingMode_ == CuttingMode::EveryPage) sendKnifeCut();
  }
  if (cuttingMode_ == CuttingMode::EndOfDocument) sendKnifeCut();
  flushBuffer();
}

void KTRN8QFilter::flushBuffer() {
  write(buffer_);
  buffer_.clear();
}

}  // namespace Quillfeather
