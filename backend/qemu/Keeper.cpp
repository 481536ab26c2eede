#include "Keeper.h"

#include "Files.h"
#include "Images.h"
#include "Launcher.h"
#include "QemuArgv.h"
#include "Text.h"

namespace bx {

MachineKeeper::MachineKeeper(const MachineStore& store, std::string baseDirectory)
    : m_store(store), m_baseDirectory(std::move(baseDirectory)) {}

bool MachineKeeper::Save(const EmulatorOptions& options, const std::optional<std::string>& edited,
                         std::string* error) const {
    const std::string name = ReadField(options.general.name);
    KnownImages images;
    bool adopt = false;
    std::optional<StoredMachine> current = m_store.LoadStored(name);
    if (current) {
        images = std::move(current->images);
    } else if (std::optional<StoredMachine> before =
                   edited ? m_store.LoadDeleted(*edited) : std::nullopt) {
        images = std::move(before->images);
        adopt = true;
        // The default images move with the machine; what was decided of
        // them holds at their new place.
        const LaunchContext from = ContextFor(m_store, *edited, m_baseDirectory);
        const LaunchContext to = ContextFor(m_store, name, m_baseDirectory);
        for (KnownImage& image : images) {
            if (image.path == from.defaultSdImage)
                image.path = to.defaultSdImage;
            else if (image.path == from.defaultHdImage)
                image.path = to.defaultHdImage;
        }
    }
    // Files left under the name by an older version, or by a machine deleted
    // before, belong to no machine: a new name starts without them.
    if (!current && !name.empty() && (!adopt || *edited != name) && !m_store.ClearLeftovers(name)) {
        if (error)
            *error = "files left under its name in " + m_store.Directory() +
                     " cannot be moved into deleted/";
        if (adopt)
            m_store.Restore(*edited);
        return false;
    }

    // An existing image named now is decided now, before any guest has it
    // through this machine; the back end's own images are raw.
    const LaunchContext context = ContextFor(m_store, name, m_baseDirectory);
    const DiskPlans disks = PlanDisks(options, context);
    for (const DiskPlan* plan : {&disks.sd, &disks.hd}) {
        const bool own =
            plan->path == context.defaultSdImage || plan->path == context.defaultHdImage;
        bool changed = false;
        if (plan->used && IsImageFile(plan->path))
            DecideFormat(m_store, images, plan->path, own ? Undecided::Raw : Undecided::Probe,
                         changed);
    }

    if (!m_store.Save(options, images, error)) {
        if (adopt)
            m_store.Restore(*edited);
        return false;
    }
    if (adopt)
        m_store.AdoptFiles(*edited, name);
    return true;
}

} // namespace bx
