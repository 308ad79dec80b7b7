// The editor's side of the module: completion on the current line, through the
// editor services the host offers the module.
#include <algorithm>
#include <climits>
#include <cstring>

#include "editor.h"
#include "module.h"
#include "shell.h"
#include "zarelin/host_api.h"

namespace shell {

namespace {
constexpr size_t ModuleLineLimit = 1023; // what the module's line buffer holds
} // namespace

void Editor::Complete(int preChosen) {
    if (!Editable()) return;
    // The module reads at most 1023 characters of a line and writes back what it read:
    // completing on a longer line would cut its end off.
    if (lines_[row_].size() > ModuleLineLimit) {
        Notice("This line is longer than 1023 characters: it cannot be completed", true);
        return;
    }
    CallModule(OpenFromEditor, preChosen);
}

int32_t Editor::Service(int32_t command, void* record) {
    switch (command) {
    case EditorGetLine: {
        auto* line = static_cast<EditorLineRecord*>(record);
        size_t number = line->LineNumber < 0 ? row_ : static_cast<size_t>(line->LineNumber);
        if (number >= lines_.size()) return 0;
        lineForModule_ = lines_[number];
        line->Text = lineForModule_.c_str();
        line->EndOfLine = endOfLine_.c_str();
        line->Length = static_cast<int32_t>(std::min<size_t>(lineForModule_.size(), INT32_MAX));
        line->SelectionStart = -1;
        line->SelectionEnd = -1;
        return 1;
    }
    case EditorSetLine: {
        auto* line = static_cast<EditorLineWriteRecord*>(record);
        size_t number = line->LineNumber < 0 ? row_ : static_cast<size_t>(line->LineNumber);
        if (number >= lines_.size() || !line->Text || line->Length < 0 || readOnly_) return 0;
        lines_[number].assign(line->Text, strnlen(line->Text, static_cast<size_t>(line->Length)));
        column_ = std::min(column_, lines_[row_].size());
        modified_ = true;
        return 1;
    }
    case EditorGetInfo: {
        auto* info = static_cast<EditorInfoRecord*>(record);
        *info = EditorInfoRecord();
        info->CursorPos = static_cast<int32_t>(std::min<size_t>(column_, INT32_MAX));
        return 1;
    }
    case EditorSetPosition: {
        auto* position = static_cast<EditorPositionRecord*>(record);
        if (position->Line >= 0)
            row_ = std::min(static_cast<size_t>(position->Line), lines_.size() - 1);
        if (position->Position >= 0)
            column_ = std::min(static_cast<size_t>(position->Position), lines_[row_].size());
        else
            column_ = std::min(column_, lines_[row_].size());
        return 1;
    }
    default:
        return 0;
    }
}

} // namespace shell
