#include "RunRecipe.h"

#include "FileNames.h"

#include <QFileInfo>

RunRecipe::RunRecipe(const RunRequest& request)
    : m_from(request.from) {
    setUntil(request.until);
    m_mpg = request.from == Stage::encode ? request.mpg : request.input;
    m_dvdFolder = request.from == Stage::image ? request.input : dvdFolderFor(m_mpg);
    m_isoTarget = isoTargetFor(request.isoTarget, m_dvdFolder);
}

void RunRecipe::setUntil(Stage until) {
    m_stages.clear();
    for (int stage = int(m_from); stage <= std::max(int(m_from), int(until)); ++stage)
        m_stages.append(Stage(stage));
}

std::optional<Stage> RunRecipe::after(Stage stage) const {
    const qsizetype at = m_stages.indexOf(stage);
    return at >= 0 && at + 1 < m_stages.size() ? std::optional(m_stages[at + 1]) : std::nullopt;
}

QList<PlannedWrite> RunRecipe::writes(const SizeForecast& size) const {
    QList<PlannedWrite> writes;
    for (const Stage stage : m_stages) {
        if (stage == Stage::encode)
            writes.append({QFileInfo(m_mpg).path(), size.mpegBytes});
        if (stage == Stage::authoring && size.subtitleCopyBytes > 0)
            writes.append({QFileInfo(m_mpg).path(), size.subtitleCopyBytes});
        if (stage == Stage::authoring)
            writes.append({m_dvdFolder, size.dvdFolderBytes});
        if (stage == Stage::image)
            writes.append({QFileInfo(m_isoTarget).path(), size.imageBytes});
    }
    return writes;
}

std::optional<SizeForecast> RunRecipe::sizeFromInput() const {
    if (m_from == Stage::authoring)
        return forecastFromMpeg(QFileInfo(m_mpg).size());
    if (m_from == Stage::image) {
        SizeForecast size;
        size.imageBytes = imageFromDvdFolder(folderBytes(m_dvdFolder));
        return size;
    }
    return std::nullopt;
}
