// The library's phrase tables for counter work, as GBK texts (generated from ress.txt). In every table
// but ClinicNames, entries 2k and 2k+1 are a pair: a leading and a trailing text, with the number of a
// window, train or count standing between them ("请您到" 3 "号窗口取药"). Either text of a pair may be
// empty (""), never missing. Nothing reads them; they are data the library carries, not exported.
#pragma once

namespace tavc::tessel::ress {

extern const char* const PaymentPhrases[26];
extern const char* const ClinicNames[38];
extern const char* const HospitalCashierPhrases[52];
extern const char* const HospitalRegistrationPhrases[52];
extern const char* const WindowDirections[8];
extern const char* const RailwayTicketPhrases[42];

}  // namespace tavc::tessel::ress
