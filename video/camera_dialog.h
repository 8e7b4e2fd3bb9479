#pragma once

#include "video/camera_list.h"

#include <string>

namespace kwo {

// The camera dialog: a modal window captioned "Telvarin" with the banner,
// the label "Camera", the cameras in list order with the last entry equal to
// `remembered` selected (the first when none is), "OK" (Enter) and "Annuler"
// (Escape), centred on the screen and without a close box. A double click
// only selects. Returns the chosen name after OK, "" after Annuler or Escape.
//
// Without a display nobody can answer: the list and the remembered name go
// to the standard error stream, and the remembered name is the answer when
// it is in the list, else "" (as on Annuler).
std::string chooseCamera(const CameraList& cameras, const std::string& remembered);

// The entry the dialog preselects: the last one equal to `remembered`, else 0.
std::size_t preselectedCamera(const CameraList& cameras, const std::string& remembered);

} // namespace kwo
