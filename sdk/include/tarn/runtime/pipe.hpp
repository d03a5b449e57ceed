// One anonymous pipe of the operating system.
#pragma once

// Both ends are blocking and close-on-exec: a child process receives an end only where
// TARNProcess installs it as a standard stream, never by accident. Each end is closed
// once, by whoever closes it first (its descriptor then reads -1), or by the destructor.
class TARNPipe {
  public:
    // The flags are kept for callers and read by nothing here. When the pipe cannot be
    // created both descriptors are -1.
    explicit TARNPipe(const unsigned& inheritanceFlags = 0);
    ~TARNPipe();
    TARNPipe(const TARNPipe&) = delete;
    TARNPipe& operator=(const TARNPipe&) = delete;

    const unsigned& getInheritanceFlags() const { return inheritanceFlags; }
    // Both ends are open.
    explicit operator bool() const { return readDescriptor != -1 && writeDescriptor != -1; }

    // The system's read and write: bytes moved, 0 at the end of the data, -1 on error.
    // Writing to a pipe that nobody reads any more fails with EPIPE instead of raising
    // SIGPIPE, whose default action would end the whole process.
    int read(char* buffer, int size);
    int write(const char* buffer, int size);

    int getReadDescriptor() const { return readDescriptor; }
    int getWriteDescriptor() const { return writeDescriptor; }
    // close's result, or -1 without a system call when the end is already closed. Safe to
    // call between fork and exec.
    int closeReadDescriptor();
    int closeWriteDescriptor();
    void close();

  private:
    unsigned inheritanceFlags;
    int readDescriptor = -1;
    int writeDescriptor = -1;
};
