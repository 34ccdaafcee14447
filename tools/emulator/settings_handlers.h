// The command-channel side of the settings model: Get, Set and GetDefault of
// every setting in the table, and the camera's state query.
#pragma once

#include <functional>

#include "camera.h"
#include "command_handlers.h"

namespace vktemu {

void addSettingCommands(CommandTable& table);

// f(SettingsModel&)'s reply, under the camera's lock. What a test stored for
// the command with setReplyValue / setReplyPayload replaces the model's
// value / payload, and a Set the test paired with setSettingPair still
// stores what it carries: explicit test set-ups keep working on modelled
// commands.
Reply modelReply(Camera& camera, const Request& request, const std::function<Reply(SettingsModel&)>& f);

}  // namespace vktemu
