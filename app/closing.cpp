#include "app/closing.h"

#include "app/run_state.h"
#include "collect/run_control.h"
#include "platform/platform.h"
#include "text/codec.h"
#include "ui/controls.h"

#include <cstdio>
#include <cstdlib>

void OnMainWindowClosing() {
    EndCoordinator();
    WorkerPool->Destroy(1);

    if (ui::AskOkCancel(FromUtf8("是否进入岚石官方查看最新作品?"), FromUtf8("信息：")))
        platform::OpenWebAddress(kMakerPage);

    std::fflush(nullptr);
    std::exit(0);
}
