// What each step of the cashier page and the item-line page sends, worked out from the field texts at the
// moment of the step. Every step parses all its fields before it returns anything, in the order the
// clerk's error report names them, so a bad field stops the step before anything reaches the terminal.
// Texts are UTF-8; a bad field throws HandlerError (amounts.h).
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tavc::assistant {

// The amount due (`Button1Click`): the text for TAVCShowCost and the sound text "<amount>_P".
struct AmountDueTexts {
    std::string cost;
    std::string sound;
};
AmountDueTexts AmountDue(std::string_view due, std::string_view separator);

// The change (`Button2Click`): the new text of the change field, received minus due (received parsed
// first).
std::string ChangeOf(std::string_view received, std::string_view due, std::string_view separator);

// Completing the payment (`Button3Click`): the new text of the received field, due plus change (change
// parsed first); the pair for TAVCShowPayReturn; the three sound texts "<received>_k", "<change>_b", "_C".
struct PaymentTexts {
    std::string received;
    std::string change;
    std::array<std::string, 3> sounds;
};
PaymentTexts CompletePayment(std::string_view change, std::string_view due, std::string_view separator);

// One item line (`Button14Click`): the unit price parsed first, then the quantity; only when both parse
// is the line amount added to `running_total`. The texts for TAVCShowItemCosts.
struct ItemLineTexts {
    std::string amount;
    std::string total;
};
ItemLineTexts ItemLine(std::string_view price, std::string_view quantity, double& running_total,
                       std::string_view separator);

}  // namespace tavc::assistant
