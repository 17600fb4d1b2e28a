#include "command.h"

// Each command's file defines its record; adding a command is one line here.
extern const Command kInfoCommand;
extern const Command kDemoCommand;
extern const Command kSendCommand;
extern const Command kRecvCommand;
extern const Command kCodecsCommand;
extern const Command kRunCommand;
extern const Command kSaveCommand;
extern const Command kPagesCommand;
extern const Command kRelayCommand;
extern const Command kSrtpKeyCommand;

namespace {

const Command* const kCommands[] = {
    &kInfoCommand,
    &kDemoCommand,
    &kSendCommand,
    &kRecvCommand,
    &kCodecsCommand,
    &kRunCommand,
    &kSaveCommand,
    &kPagesCommand,
    &kRelayCommand,
    &kSrtpKeyCommand,
};

}  // namespace

std::span<const Command* const> AllCommands() { return kCommands; }

const Command* FindCommand(const std::string& name)
{
    for (const Command* command : AllCommands()) {
        if (name == command->name) {
            return command;
        }
    }
    return nullptr;
}
