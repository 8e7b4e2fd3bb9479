#pragma once

// Stands in for the video library until it lands: no frame ever arrives.
inline unsigned char* arVideoGetImage() { return nullptr; }
inline int arVideoCapNext() { return 0; }
