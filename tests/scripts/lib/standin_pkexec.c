/* A stand-in for pkexec that keeps its rules, for tests of a program run by a user: it runs the
 * program it is given as root, with a cleared environment and PKEXEC_UID set to the id of the
 * user who asked, or ends with 126 (the request was dismissed) while the answer file says
 * "dismiss". While it says "garble", it stands in for a helper gone wrong instead: as root (out
 * of the user's reach), it greets, sends a report no helper sends, and stays a minute. Each
 * request is one line of the calls file. Built setuid root by the test; CALLS and ANSWER are
 * the files' paths. */
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    FILE* calls = fopen(CALLS, "a");
    if (calls) {
        for (int index = 1; index < argc; ++index)
            fprintf(calls, "%s%s", index > 1 ? " " : "", argv[index]);
        fputc('\n', calls);
        fclose(calls);
    }
    char answer[16] = "";
    FILE* answerFile = fopen(ANSWER, "r");
    if (answerFile) {
        if (!fgets(answer, sizeof answer, answerFile))
            answer[0] = '\0';
        fclose(answerFile);
    }
    if (strncmp(answer, "dismiss", 7) == 0)
        return 126;
    if (argc < 2 || argv[1][0] != '/')
        return 127;
    char user[32];
    snprintf(user, sizeof user, "PKEXEC_UID=%u", (unsigned)getuid());
    if (setgid(0) != 0 || setuid(0) != 0)
        return 127;
    if (strncmp(answer, "garble", 6) == 0) {
        printf("arkeven stick helper 1\nE stage 9\n");
        fflush(stdout);
        sleep(60);
        return 0;
    }
    char* environment[] = { user, "PATH=/usr/sbin:/usr/bin:/sbin:/bin", NULL };
    execve(argv[1], argv + 1, environment);
    return 127;
}
