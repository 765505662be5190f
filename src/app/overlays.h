// The 2D callbacks of the viewport: the title or closing picture with the credit lines, a
// level's card with its name, and during play the window size, the frame rate and the front end.
#pragma once

namespace dv {

void TitleOverlay2D(void* shell);
void LevelCardOverlay2D(void* shell);
void GameOverlay2D(void* shell);

// The two credit lines under the title.
extern const char* const kCreditLines[2];

}  // namespace dv
