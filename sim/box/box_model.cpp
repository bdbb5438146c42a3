#include "sim/box/box_model.h"

namespace tovrel::sim {

const BoxModel* findBoxModel(std::string_view model) {
    for (const BoxModel& box : kBoxModels) {
        if (box.model == model) return &box;
    }
    return nullptr;
}

}  // namespace tovrel::sim
