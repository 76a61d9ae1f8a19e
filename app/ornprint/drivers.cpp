#include "drivers.h"

#include <array>
#include <cstdlib>

namespace OrnPrint {
namespace {

// Hundredths of millimetres from inches.
constexpr int in(double inches) { return static_cast<int>(inches * 2540 + 0.5); }

// The label sizes of the LXPR and ZPL PPDs.
constexpr std::array kLxprMedia{
    MediaSize{"oe_2x1-label_2x1in", in(2), in(1)},
    MediaSize{"oe_2-25x1-25-label_2.25x1.25in", in(2.25), in(1.25)},
    MediaSize{"oe_3x2-label_3x2in", in(3), in(2)},
    MediaSize{"oe_4x2-label_4x2in", in(4), in(2)},
    MediaSize{"oe_4x3-label_4x3in", in(4), in(3)},
    MediaSize{"oe_4x6-label_4x6in", in(4), in(6)},
};
constexpr std::array kZplMedia{
    MediaSize{"oe_2x1-label_2x1in", in(2), in(1)},
    MediaSize{"oe_3x2-label_3x2in", in(3), in(2)},
    MediaSize{"oe_4x3-label_4x3in", in(4), in(3)},
    MediaSize{"oe_4x6-label_4x6in", in(4), in(6)},
};
// The ticket and card sizes of the KT-RN8Q PPD.
constexpr std::array kKtrn8qMedia{
    MediaSize{"om_card_54x86mm", 5400, 8600},
    MediaSize{"oe_3x6-ticket_3x6in", in(3), in(6)},
    MediaSize{"om_ticket-82-5x140_82.5x140mm", 8250, 14000},
    MediaSize{"om_ticket-82-5x203_82.5x203mm", 8250, 20300},
    MediaSize{"oe_4x6-ticket_4x6in", in(4), in(6)},
};

// Custom size limits: the PPDs' ParamCustomPageSize ranges (points).
constexpr int pt(int points) { return points * 2540 / 72; }
constexpr MediaSize kLabelMin{"", pt(36), pt(36)};
constexpr MediaSize kLxprMax{"", pt(295), pt(2399)};
constexpr MediaSize kZplMax{"", pt(295), pt(2834)};
constexpr MediaSize kTicketMin{"", pt(72), pt(72)};
constexpr MediaSize kTicketMax{"", pt(306), pt(2834)};

constexpr std::array kDrivers{
    Driver{"lxpr_203dpi", "Orn LX-4 Label Printer, 203 dpi", Language::Lxpr, "orn-lxpr.ppd",
           "203dpi", 203, kLxprMedia, kLabelMin, kLxprMax},
    Driver{"lxpr_300dpi", "Orn LX-4 Label Printer, 300 dpi", Language::Lxpr, "orn-lxpr.ppd",
           "300dpi", 300, kLxprMedia, kLabelMin, kLxprMax},
    Driver{"ktrn8q_203dpi", "Orn KT-RN8Q Ticket Printer", Language::Ktrn8q, "orn-ktrn8q.ppd",
           "203dpi", 203, kKtrn8qMedia, kTicketMin, kTicketMax},
    Driver{"zpl_203dpi", "Orn ZPL Label Printer, 203 dpi", Language::Zpl, "orn-zpl.ppd", "203dpi",
           203, kZplMedia, kLabelMin, kZplMax},
    Driver{"zpl_300dpi", "Orn ZPL Label Printer, 300 dpi", Language::Zpl, "orn-zpl.ppd", "300dpi",
           300, kZplMedia, kLabelMin, kZplMax},
};

}  // namespace

std::span<const Driver> drivers() { return kDrivers; }

const Driver* findDriver(std::string_view name) {
  for (const Driver& driver : kDrivers) {
    if (name == driver.name) return &driver;
  }
  return nullptr;
}

}  // namespace OrnPrint

namespace OrnPrint {
std::string modelPath(const Driver& driver) {
  const char* folder = std::getenv("ORNPRINT_MODEL_DIR");
  return std::string(folder && *folder ? folder : ORN_MODEL_DIR) + "/" + driver.ppdFile;
}
}  // namespace OrnPrint
