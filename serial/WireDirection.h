#pragma once

namespace tarvel {

// Which way bytes went on the wire: Tx host to module, Rx module to host.
enum class Direction { Tx, Rx };

// As a transcript writes it: "TX" or "RX".
constexpr const char* directionText(Direction direction) {
    return direction == Direction::Tx ? "TX" : "RX";
}

}  // namespace tarvel
