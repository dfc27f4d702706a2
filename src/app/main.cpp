#include "app/trellmoapp.h"

int main(int argc, char** argv) {
    CTrellmoApp app(argc, argv);
    return app.InitInstance();
}
