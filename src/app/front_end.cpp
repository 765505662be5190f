#include "app/front_end.h"

#include "app/player_settings.h"
#include "app/save_slots.h"
#include "app/shell.h"

namespace dv {

void RunMenuCommand(Shell& shell, const MenuResult& result) {
    switch (result.Command) {
        case MenuCommand::None: break;
        case MenuCommand::Resume: shell.ResumeGame(); break;
        case MenuCommand::SaveSlot: SaveToSlot(shell, result.Slot); break;
        case MenuCommand::LoadSlot: LoadFromSlot(shell, result.Slot); break;
        case MenuCommand::Restart:
            shell.ResumeGame();
            shell.RestartLevel();
            break;
        case MenuCommand::Quit: shell.Close(); break;
        case MenuCommand::ChangeSetting: ChangeSetting(shell, result.Line, result.Step); break;
        case MenuCommand::BindKey: BindKey(shell, result.Line, result.Key); break;
        case MenuCommand::Photo: EnterPhotoMode(shell); break;
    }
}

}  // namespace dv
