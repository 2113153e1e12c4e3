#include "app_env.h"

#include "app/program.h"


namespace apptest {

void runProgram(fake::Toolkit& toolkit, const std::function<void(fake::Toolkit&)>& user,
                std::vector<const char*> args) {
    args.insert(args.begin(), "trevane");
    bool acted = false;
    toolkit.loop = [&](fake::Toolkit& tk) {
        if (!acted) {
            acted = true;
            user(tk);
            return true;
        }
        // Close the main window, as the user would at the end.
        const char* main = tk.has("TForm5") ? "TForm5" : "TForm1";
        auto& form = tk.view(main).fakeForm();
        if (!form.closed) form.close();
        return !form.closed;
    };
    app::runApplication(toolkit, static_cast<int>(args.size()), args.data());
}

} // namespace apptest
