// The agent's own texts, as GBK bytes (generated from command_texts.txt).
#pragma once

namespace corvis::texts {

extern const char kPrintTextFace[];  // the face "PrintText" sets before it draws

}  // namespace corvis::texts
