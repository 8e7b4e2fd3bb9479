#pragma once

#include <string>

namespace kwo {

// The folder of the running executable, with a trailing "/".
std::string programFolder();

// Makes the program's folder the working directory, so that documents, media,
// tracking files and the engine log resolve against it wherever the program
// was started from. A failure leaves the working directory as it is.
void enterProgramFolder();

} // namespace kwo
