#pragma once

#include <QtGlobal>

namespace tarvel {

// The order in which the acknowledged transfer visits an image's blocks: sectors in order,
// except that once a sector ends in a blank block the walk jumps to the last sector. The count
// before the transfer and the transfer itself take this one walk, so both visit the same blocks.
class SectorWalk {
  public:
    static constexpr int kBlocksPerSector = 64;

    explicit SectorWalk(qint64 sectors) : sectors_(sectors) {}
    bool atEnd() const { return sector_ > sectors_ - 1; }
    qint64 sector() const { return sector_; }
    int block() const { return block_; }
    void enterSector() {
        if (lastBlockBlank_)
            sector_ = sectors_ - 1;
    }
    // After block: true when it was the sector's last.
    bool finishBlock(bool blank) {
        lastBlockBlank_ = blank;
        return ++block_ == kBlocksPerSector;
    }
    void nextSector() {
        ++sector_;
        block_ = 0;
    }
    void restart() {
        sector_ = 0;
        block_ = 0;
        lastBlockBlank_ = false;
    }

  private:
    qint64 sectors_;
    qint64 sector_ = 0;
    int block_ = 0;
    bool lastBlockBlank_ = false;
};

}  // namespace tarvel
