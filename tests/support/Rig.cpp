#include "tests/support/Rig.h"

namespace tarvel::test {

Rig::Rig() {
    files.addFolder(QStringLiteral("/images"));
    for (int port = 1; port <= 9; ++port)
        settings.values.insert(QStringLiteral("Ports/COM%1").arg(port), pathOf(port));
}

void Rig::load(std::initializer_list<int> presentPorts) {
    for (int port : presentPorts)
        serial.presentPaths.insert(pathOf(port));
    form = std::make_unique<Form1>(platform, layout, QStringLiteral("V1.0.0"));
    form->Activity1.Resize();
    form->Form_Load();
}

}  // namespace tarvel::test
