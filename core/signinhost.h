#pragma once

/** What the sign-in window asks of the application. */
class SignInHost {
public:
    virtual ~SignInHost() = default;

    /** A user was delivered: fetch their prompts. */
    virtual void loadPresets() = 0;
    virtual void openSettings() = 0;
    /** Sign-in is over: the sign-in window closes and the widget takes over. */
    virtual void finishSignIn() = 0;
};
