/* An extension built outside the agent's tree against the installed SDK
 * alone: it counts class loads and says so, with its greeting argument,
 * when the VM is initialised. */
#include <stdio.h>

#include <zvi.h>

static int gClasses;
static char *gGreeting;
static ZVExtensionRecord gRecord;

static void classLoaded(JVMPI_Event *event) {
    (void)event;
    ++gClasses;
}

static void javaInit(JNIEnv *env) {
    (void)env;
    fprintf(stderr, "outside: %d classes loaded, %s\n", gClasses, gGreeting != NULL ? gGreeting : "no greeting");
}

__attribute__((visibility("default"))) ZVExtensionRecord *ZVInitFunction(JavaVM *vm, int32_t identifier,
                                                                         ZVServices *services, SEElement *initArgs,
                                                                         int32_t constant) {
    (void)vm, (void)identifier, (void)services, (void)constant;
    gGreeting = zviGetArgumentText(initArgs, "greeting", NULL);
    gRecord.classLoaded = classLoaded;
    gRecord.javaInit = javaInit;
    return &gRecord;
}
