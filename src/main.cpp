#include "app/BrimvoltApp.h"

int main(int argc, char** argv) {
    CBrimvoltApp app(argc, argv);
    return app.InitInstance();
}
