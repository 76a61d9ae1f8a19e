#pragma once

// Settings without an IPP name, offered as vendor attributes: each is one option of the
// driver's PPD, its choices and default read from that PPD. The IPP keyword of a choice is the
// choice in lower case with every other character than a letter or digit as "-" (PPD
// "DirectThermal" is IPP "directthermal", "3.0" is "3-0").
//
//   vendor attribute          PPD option          driver
//   orn-print-method          PrintMethod         LXPR
//   orn-label-gap             LabelGap            LXPR
//   orn-cutter                CutModule           LXPR
//   orn-graphic-compression   Compression         LXPR
//   orn-feed-adjustment       FeedAdjustment      LXPR
//   orn-cut-peel-adjustment   CutStripAdjustment  LXPR
//   orn-back-feed-adjustment  BackFeedAdjustment  LXPR
//   orn-command-framing       CommandCharacters   LXPR
//   orn-cutting-mode          CuttingMode         KT-RN8Q
//   orn-print-on-back-only    PrintOnBackOnly     KT-RN8Q
//   orn-graphic-compression   ZPLCompression      ZPL
#include <pappl/pappl.h>

#include <string>
#include <vector>

#include "drivers.h"

namespace OrnPrint {

struct VendorOption {
  std::string attribute;             // IPP name, without "-default" / "-supported"
  std::string option;                // PPD option keyword
  std::vector<std::string> choices;  // PPD choice keywords
  std::string defaultChoice;
};

// The driver's vendor options as its PPD offers them (options the PPD lacks are left out).
const std::vector<VendorOption>& vendorOptions(const Driver& driver);

// The IPP keyword of a PPD choice.
std::string ippKeyword(const std::string& choice);

// Adds the -supported and -default attributes of every vendor option to the driver's
// attributes and names the options in the driver data.
void advertiseVendorOptions(const Driver& driver, pappl_pr_driver_data_t& data, ipp_t*& attrs);

// "Option=Choice" settings for the job's vendor attribute values; unknown values are left out.
std::string vendorSettings(const Driver& driver, int count, const cups_option_t* values);

}  // namespace OrnPrint
