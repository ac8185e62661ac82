#include "app/CQuilletApp.h"

int main(int argc, char** argv) {
    CQuilletApp app(argc, argv);
    return app.Run();
}
