#include "amount_steps.h"

#include "amounts.h"

namespace tavc::assistant {

AmountDueTexts AmountDue(std::string_view due, std::string_view separator) {
    const std::string cost = AmountText(ParseAmount(due, separator), separator);
    return {cost, cost + "_P"};
}

std::string ChangeOf(std::string_view received, std::string_view due, std::string_view separator) {
    const Amount r = ParseAmount(received, separator);
    const Amount d = ParseAmount(due, separator);
    return AmountText(r - d, separator);
}

PaymentTexts CompletePayment(std::string_view change, std::string_view due, std::string_view separator) {
    const Amount c = ParseAmount(change, separator);
    const Amount d = ParseAmount(due, separator);
    // The received field is written first and the terminal gets what it then reads, so the pair shown
    // always adds up as the clerk sees it.
    const std::string received = AmountText(ParseAmount(AmountText(d + c, separator), separator), separator);
    const std::string change_text = AmountText(c, separator);
    return {received, change_text, {received + "_k", change_text + "_b", "_C"}};
}

ItemLineTexts ItemLine(std::string_view price, std::string_view quantity, double& running_total,
                       std::string_view separator) {
    const Amount p = ParseAmount(price, separator);
    const Amount line = static_cast<Amount>(ParseInteger(quantity)) * p;
    // The running total is a double, as the page keeps it.
    running_total = static_cast<double>(running_total + line);
    return {AmountText(line, separator), AmountText(running_total, separator)};
}

}  // namespace tavc::assistant
