#include "job_options.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace OrnPrint {
namespace {

constexpr std::array kCurves{"Lightest", "Lighter", "Light", "Normal", "Dark", "Darker", "Darkest"};

// The PPD's speed choice nearest to an IPP speed.
int speedChoice(const Driver& driver, int hundredthsMmPerSecond) {
  static constexpr std::array kLxpr{2, 3, 4, 5, 6, 8, 10};
  static constexpr std::array kZpl{2, 3, 4, 6};
  const double inches = hundredthsMmPerSecond / 2540.0;
  const auto pick = [inches](const auto& choices) {
    int best = choices[0];
    for (int c : choices) {
      if (std::abs(c - inches) < std::abs(best - inches)) best = c;
    }
    return best;
  };
  return driver.language == Language::Zpl ? pick(kZpl) : pick(kLxpr);
}

void add(std::string& out, const std::string& name, const std::string& value) {
  if (!out.empty()) out += ' ';
  out += name + '=' + value;
}

}  // namespace

const char* darknessCurve(int darkness) {
  const int level = std::clamp((std::clamp(darkness, 0, 100) * 6 + 50) / 100, 0, 6);
  return kCurves[static_cast<size_t>(level)];
}

std::string jobOptions(const Driver& driver, const pappl_pr_options_t& options,
                       pappl_label_mode_t labelMode) {
  std::string out;
  add(out, "Resolution", driver.resolution);
  const bool graphics =
      (options.print_content_optimize &
       (PAPPL_CONTENT_GRAPHIC | PAPPL_CONTENT_PHOTO | PAPPL_CONTENT_TEXT_AND_GRAPHIC)) != 0;
  add(out, "DocumentType", graphics ? "Graphics" : "Text");

  const int configured = options.darkness_configured;
  if (driver.language == Language::Lxpr) {
    // The printer's own darkness stays as configured; the job's moves it by up to two steps.
    add(out, "ImageDarkness", darknessCurve(configured));
    const int steps =
        std::clamp((options.print_darkness + (options.print_darkness < 0 ? -25 : 25)) / 50, -2, 2);
    if (steps != 0) {
      const std::string value = std::to_string(steps);
      add(out, "ToneAdjustmentDirectThermal", value);
      add(out, "ToneAdjustmentThermalTransfer", value);
    }
  } else {
    add(out, "ImageDarkness", darknessCurve(configured + options.print_darkness / 2));
  }

  if (driver.language != Language::Ktrn8q) {
    if (options.print_speed > 0)
      add(out, "PrintSpeed", std::to_string(speedChoice(driver, options.print_speed)));
    add(out, "StripLabel", labelMode == PAPPL_LABEL_MODE_PEEL_OFF ? "True" : "False");
    add(out, "CutInterval", labelMode == PAPPL_LABEL_MODE_CUTTER ? "1" : "0");
  }
  if (driver.language == Language::Lxpr) {
    switch (options.media.tracking) {
      case PAPPL_MEDIA_TRACKING_CONTINUOUS:
        add(out, "Sensor", "None");
        break;
      case PAPPL_MEDIA_TRACKING_MARK:
        add(out, "Sensor", "Reflective");
        break;
      case PAPPL_MEDIA_TRACKING_GAP:
        add(out, "Sensor", "Transmissive");
        break;
      default:
        break;
    }
  }
  if (driver.language == Language::Ktrn8q) {
    const char* duplex = "None";
    if (options.sides == PAPPL_SIDES_TWO_SIDED_LONG_EDGE) duplex = "DuplexNoTumble";
    if (options.sides == PAPPL_SIDES_TWO_SIDED_SHORT_EDGE) duplex = "DuplexTumble";
    add(out, "Duplex", duplex);
  }
  return out;
}

}  // namespace OrnPrint
