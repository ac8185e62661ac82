#include "app/CQuilletApp.h"

int main(int argc, char** argv) {
    tamsel::CQuilletApp app(argc, argv);
    return app.Run();
}
