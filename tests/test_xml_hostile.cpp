// Hostile XML input: nesting deeper than the framework reads (run on a
// small thread stack, so that a walk that recurses once per level shows),
// first loads from several threads at once, schemas that point outside
// themselves or expand without bound, and entities whose replacement text
// is far larger than a document needs.
#include "test_support.h"

#include "pgm/h/pgm_common_xml_export.h"

#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <thread>

XERCES_CPP_NAMESPACE_USE

namespace {

typedef std::unique_ptr<PGM_COMMON_XML_ELEMENT> TREE;
const size_t LIMIT = PGM_COMMON_XML_MAX_DEPTH;
const std::string JOB_XSD = PGM_SOURCE_DIR "/tests/data/xml/parse/job.xsd";
const std::string DEEPER = "nested deeper than " + std::to_string(LIMIT) + " levels";

XML_TREE load(const std::string& path, const std::string& xsd = "")
{
    return load_xml(PGM_COMMON_XML_FILE_PFG, path, xsd);
}

// The internal error fn raises, with standard output and error captured;
// empty when it raises none.
std::string refusal(const std::function<void()>& fn, std::string* printed = NULL)
{
    std::string text;
    testing::internal::CaptureStderr();
    std::string out = capture_stdout([&] {
        try {
            fn();
        } catch (const PGM_INTERNAL_ERROR& error) {
            text = error.what();
        }
    });
    out += testing::internal::GetCapturedStderr();
    if (printed != NULL)
        *printed = out;
    return text;
}

// Runs fn on a thread whose stack is 256 KiB and rethrows what it threw.
void on_small_stack(const std::function<void()>& fn)
{
    struct CALL {
        const std::function<void()>* fn;
        std::exception_ptr error;
    } call{&fn, nullptr};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 256 * 1024);
    pthread_t thread;
    int created = pthread_create(
        &thread, &attributes,
        [](void* argument) -> void* {
            CALL* c = static_cast<CALL*>(argument);
            try {
                (*c->fn)();
            } catch (...) {
                c->error = std::current_exception();
            }
            return nullptr;
        },
        &call);
    pthread_attr_destroy(&attributes);
    ASSERT_EQ(0, created);
    pthread_join(thread, nullptr);
    if (call.error)
        std::rethrow_exception(call.error);
}

PGM_COMMON_XML_ELEMENT* plain_element()
{
    return new PGM_COMMON_XML_ELEMENT(PGM_COMMON_XML_ENUM_PFG, PGM_COMMON_XML_ENUM_PFG, PGM_XML_TYPE_NONE,
                                      PGM_XML_EXIST_MUST_NOT, "", "", NULL);
}

// Plain elements `levels` deep, each the only child of the one above.
TREE chain(size_t levels)
{
    TREE root(plain_element());
    PGM_COMMON_XML_ELEMENT* last = root.get();
    for (size_t i = 1; i < levels; ++i) {
        PGM_COMMON_XML_ELEMENT* next = plain_element();
        last->add_child(next);
        last = next;
    }
    return root;
}

size_t depth_of(PGM_COMMON_XML_ELEMENT* element)
{
    size_t depth = 1;
    for (; !element->childs.empty(); element = element->childs.front())
        ++depth;
    return depth;
}

// A raw file's text followed by x_levels nested x elements.
std::string deep_text_job(size_t x_levels)
{
    return "<pfg version=\"1\"><raw_files><raw_file type=\"HEX\" id=\"a\">t" + repeat("<x>", x_levels) +
           repeat("</x>", x_levels) + "</raw_file></raw_files></pfg>";
}

} // namespace

TEST(XmlHostileDepth, TheLoaderRefusesDeepNestingBeforeWalkingIt)
{
    TEMP_DIR dir;
    const std::string job = dir.file("job.xml");
    const std::string deep = "Elements in file job.xml are " + DEEPER;
    // pfg, raw_files and raw_file are the first three levels.
    const std::pair<size_t, std::string> cases[] = {
        {150000, deep},
        {LIMIT - 2, deep},
        {LIMIT - 3, "job.xml:1: Parent element \"raw_file\" does not support \"x\" element"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        write_file(job, deep_text_job(c.first));
        on_small_stack([&] { EXPECT_EQ(c.second, refusal([&] { load(job); })); });
        std::string errors, warnings;
        auto check = [&] { PGM_COMMON_XML::check_xsd(job, "", errors, warnings); };
        if (c.second == deep)
            on_small_stack([&] { EXPECT_EQ(deep, refusal(check)); });
    }
    // The reported case: pgmtool ended by a stack overflow.
    write_file(job, deep_text_job(150000));
    expect_pgmtool({{"xml " + job + " --kind=pfg", 2, "", job + ": error: " + deep + "\n"}});
    // Empty elements end where they start: many of them side by side, or the
    // deepest level made of one, are within the limit.
    const std::string texts[] = {"<a>" + repeat("<b/>", 3 * LIMIT) + "</a>",
                                 repeat("<a>", LIMIT - 1) + "<b/>" + repeat("</a>", LIMIT - 1)};
    for (const std::string& text : texts) {
        PGM_COMMON_XML_PARSER_DOM dom;
        ASSERT_TRUE(dom.loadconfig(text, NULL, "mem.xml", true) != NULL);
        EXPECT_FALSE(dom.get_error_handler()->getSawErrors());
    }
    PGM_COMMON_XML_PARSER_DOM dom;
    const std::string nested = repeat("<a>", LIMIT + 1) + repeat("</a>", LIMIT + 1);
    EXPECT_EQ("Elements in file mem.xml are " + DEEPER,
              refusal([&] { dom.loadconfig(nested, NULL, "mem.xml", true); }));
}

TEST(XmlHostileDepth, TextUnderNestedElementsIsGatheredInDocumentOrder)
{
    const std::string text = "<a> t<!--c--><?p q?><![CDATA[<z>]]><x>u<x>v&amp;</x></x>w" + repeat("<x>", LIMIT - 2) +
                             "d" + repeat("</x>", LIMIT - 2) + "</a>";
    on_small_stack([&] {
        PGM_COMMON_XML_PARSER_DOM dom;
        DOMElement* a = dom.loadconfig(text, NULL, "mem.xml", true)->getDocumentElement();
        ASSERT_FALSE(dom.get_error_handler()->getSawErrors()) << dom.get_error_handler()->getMsg();
        EXPECT_EQ(" t<z>uv&wd", PGM_COMMON_XML_DOM_HELPER::get_text_content_from_dom_element(a, true));
        PGM_COMMON_XML_PARSER_DOM_STRX content(a->getTextContent());
        EXPECT_EQ(std::string(content.c_str()), PGM_COMMON_XML_DOM_HELPER::get_text_content_from_dom_node(a, true));
    });
}

TEST(XmlHostileDepth, TreesBuiltInCodeAreWrittenAndFilteredToTheLimit)
{
    on_small_stack([] {
        TREE tree = chain(LIMIT);
        PGM_COMMON_XML_ELEMENT* deepest = tree.get();
        while (!deepest->childs.empty())
            deepest = deepest->childs.front();
        std::string text;
        PGM_COMMON_XML::write_xml_element(tree.get(), text, "", false, false, false);
        EXPECT_EQ(2 * LIMIT - 1, size_t(std::count(text.begin(), text.end(), '\n')));
        EXPECT_NE(std::string::npos, text.find("\n" + repeat("    ", LIMIT - 1) + "<pfg/>\n"));
        deepest->attribute_info[0].string = "B";
        PGM_COMMON_XML_HELPER::update_if_condition(tree.get(), "A", "");
        EXPECT_EQ(LIMIT - 1, depth_of(tree.get()));
    });
    TEMP_DIR dir;
    const std::string file = dir.file("deep.xml");
    for (size_t levels : {LIMIT + 1, size_t(150000)}) {
        SCOPED_TRACE(levels);
        on_small_stack([&] {
            TREE tree = chain(levels);
            std::string text;
            EXPECT_EQ("The XML tree is " + DEEPER, refusal([&] {
                          PGM_COMMON_XML::write_xml_element(tree.get(), text, "", false, false, false);
                      }));
            EXPECT_EQ("", text);
            EXPECT_EQ("Cannot write file " + file + ": the XML tree is " + DEEPER,
                      refusal([&] { PGM_COMMON_XML::write_xml(tree.get(), file); }));
            EXPECT_FALSE(std::filesystem::exists(file));
            EXPECT_EQ("The XML tree is " + DEEPER,
                      refusal([&] { PGM_COMMON_XML_HELPER::check_xsd(tree.get(), JOB_XSD.c_str(), "deep.xml"); }));
            EXPECT_EQ("The XML tree is " + DEEPER,
                      refusal([&] { PGM_COMMON_XML_HELPER::update_if_condition(tree.get(), "A", "B"); }));
            EXPECT_EQ(levels, depth_of(tree.get()));
            // Taken apart, every element stands alone.
            std::vector<PGM_COMMON_XML_ELEMENT*> all;
            for (PGM_COMMON_XML_ELEMENT* e = tree.get(); e != NULL; e = e->childs.empty() ? NULL : e->childs[0])
                all.push_back(e);
            tree->ungroup_all_child();
            auto alone = [](PGM_COMMON_XML_ELEMENT* e) { return e->childs.empty(); };
            EXPECT_TRUE(std::all_of(all.begin(), all.end(), alone));
            for (size_t i = 1; i < all.size(); ++i)
                delete all[i];
        });
        on_small_stack([&] { chain(levels).reset(); });
    }
}

TEST(XmlHostileThreads, EightFirstLoadsAtOnce)
{
    const char* child_job = std::getenv("PGM_TEST_XML_FIRST_LOADS");
    if (child_job != NULL) {
        // Nothing in this process has loaded XML before.
        std::atomic<bool> go(false);
        std::atomic<int> loaded(0);
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i) {
            threads.emplace_back([&] {
                while (!go)
                    std::this_thread::yield();
                TREE tree = load(child_job);
                if (tree->childs.size() == 1 && tree->childs[0]->childs.size() == 50)
                    ++loaded;
            });
        }
        go = true;
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(8, loaded.load());
        return;
    }
    TEMP_DIR dir;
    std::string files;
    for (int i = 0; i < 50; ++i)
        files += "<raw_file type=\"HEX\" id=\"r" + std::to_string(i) + "\">f" + std::to_string(i) + ".hex</raw_file>";
    write_file(dir.file("job.xml"), "<pfg version=\"1\"><raw_files>" + files + "</raw_files></pfg>");
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    for (int run = 0; run < 4; ++run) {
        RUN_RESULT result = run_command("PGM_TEST_XML_FIRST_LOADS=" + dir.file("job.xml") + " " + self +
                                        " --gtest_filter=XmlHostileThreads.EightFirstLoadsAtOnce");
        EXPECT_EQ(0, result.exit_code) << result.output;
        EXPECT_NE(std::string::npos, result.output.find("[  PASSED  ] 1 test.")) << result.output;
    }
}

namespace {

// A listener on 127.0.0.1 that counts the connections made to it.
class LISTENER {
public:
    LISTENER() : socket_(socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof(address);
        if (bind(socket_, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(socket_, 8) != 0 ||
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("no listener");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd wait = {socket_, POLLIN, 0};
                if (poll(&wait, 1, 20) > 0) {
                    int connection = accept(socket_, nullptr, nullptr);
                    if (connection >= 0) {
                        ++connections_;
                        close(connection);
                    }
                }
            }
        });
    }
    ~LISTENER()
    {
        stop_ = true;
        thread_.join();
        close(socket_);
    }
    int port() const { return port_; }
    int connections() const { return connections_; }

private:
    int socket_;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

// Tells whether a file was opened while it was watched.
class OPEN_WATCH {
public:
    explicit OPEN_WATCH(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK))
    {
        if (fd_ < 0 || inotify_add_watch(fd_, path.c_str(), IN_OPEN) < 0)
            throw std::runtime_error("no watch");
    }
    ~OPEN_WATCH() { close(fd_); }
    bool opened() const
    {
        char events[4096];
        return read(fd_, events, sizeof(events)) > 0;
    }

private:
    int fd_;
};

const std::string SCHEMA_START = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">";
const std::string PFG_DECLARATION = "<xs:element name=\"pfg\"/>";

std::string laughs(int levels)
{
    std::string text = "<!ENTITY l0 \"lollollollol\">";
    for (int level = 1; level <= levels; ++level)
        text += "<!ENTITY l" + std::to_string(level) + " \"" + repeat("&l" + std::to_string(level - 1) + ";", 10) +
                "\">";
    return text;
}

} // namespace

TEST(XmlHostileSchema, SchemasReachNothingOutsideThemselves)
{
    TEMP_DIR dir;
    LISTENER listener;
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.port());
    // Read, this file would declare the element the job needs.
    const std::string declaration = dir.file("declaration.txt");
    write_file(declaration, "<!-- TOP-SECRET-42 -->" + PFG_DECLARATION);
    const std::string job = dir.file("job.xml");
    write_file(job, "<pfg version=\"1\"/>");
    const std::string schemas[] = {
        "<!DOCTYPE xs:schema SYSTEM \"" + url + "/x.dtd\">" + SCHEMA_START + PFG_DECLARATION + "</xs:schema>",
        "<!DOCTYPE xs:schema [<!ENTITY % p SYSTEM \"" + url + "/p.dtd\"> %p;]>" + SCHEMA_START + PFG_DECLARATION +
            "</xs:schema>",
        "<!DOCTYPE xs:schema [<!ENTITY e SYSTEM \"file://" + declaration + "\">]>" + SCHEMA_START + "&e;</xs:schema>",
        "<!DOCTYPE xs:schema [<!ENTITY e SYSTEM \"" + declaration + "\">]>" + SCHEMA_START + "&e;</xs:schema>",
        "<!DOCTYPE xs:schema [" + laughs(4) + "]>" + SCHEMA_START + PFG_DECLARATION +
            "<xs:annotation><xs:documentation>&l4;</xs:documentation></xs:annotation></xs:schema>",
        "<!DOCTYPE xs:schema [<!ENTITY big \"" + repeat("b", PGM_COMMON_XML_MAX_ENTITY_SIZE + 1) + "\">]>" +
            SCHEMA_START + PFG_DECLARATION + "<xs:annotation><xs:documentation>&big;</xs:documentation>" +
            "</xs:annotation></xs:schema>",
    };
    const std::string xsd = dir.file("s.xsd");
    for (const std::string& schema : schemas) {
        SCOPED_TRACE(schema.substr(0, 120));
        write_file(xsd, schema);
        OPEN_WATCH watch(declaration);
        std::string printed, errors, warnings;
        EXPECT_EQ("Error during XML parsing", refusal([&] { load(job, xsd); }, &printed));
        PGM_COMMON_XML::check_xsd(job, xsd, errors, warnings);
        EXPECT_NE("", errors);
        EXPECT_EQ(std::string::npos, (printed + errors + warnings).find("TOP-SECRET")) << printed + errors;
        EXPECT_FALSE(watch.opened());
        PGM_COMMON_XML_PARSER_DOM dom;
        dom.loadconfig(std::string("<pfg version=\"1\"/>"), xsd.c_str(), "mem.xml", true);
        EXPECT_TRUE(dom.get_error_handler()->getSawErrors());
    }
    EXPECT_EQ(0, listener.connections());
    // The same schema without the hostile parts serves.
    write_file(xsd, SCHEMA_START + PFG_DECLARATION + "</xs:schema>");
    std::string errors, warnings;
    PGM_COMMON_XML::check_xsd(job, xsd, errors, warnings);
    EXPECT_EQ("", errors);
    EXPECT_EQ(0u, load(job, xsd)->childs.size());
}

TEST(XmlHostileEntities, ReplacementTextIsBounded)
{
    const std::string dtd = "<!ELEMENT pfg (raw_files)><!ATTLIST pfg version CDATA #REQUIRED>"
                            "<!ELEMENT raw_files (raw_file)><!ELEMENT raw_file (#PCDATA)>"
                            "<!ATTLIST raw_file type CDATA #REQUIRED id CDATA #REQUIRED>";
    auto job = [&](const std::string& entities, const std::string& id) {
        return "<!DOCTYPE pfg [" + dtd + entities + "]><pfg version=\"1\"><raw_files><raw_file type=\"HEX\" id=\"" +
               id + "\">f</raw_file></raw_files></pfg>";
    };
    const size_t most = PGM_COMMON_XML_MAX_ENTITY_SIZE;
    TEMP_DIR dir;
    const std::string file = dir.file("job.xml");
    // At the limit, an entity expands as often as references are allowed.
    write_file(file, job("<!ENTITY big \"" + repeat("b", most) + "\">", repeat("&big;", 3)));
    TREE tree = load(file);
    EXPECT_EQ(3 * most, tree->childs.at(0)->childs.at(0)->read_attribute_string("id").size());

    const struct {
        std::string entities, id, what;
        size_t size;
    } cases[] = {
        // 99 references to 100,000 characters: 10 MB from a file of 100 KB.
        {"<!ENTITY big \"" + repeat("b", 100000) + "\">", repeat("&big;", 99), "entity \"big\"", 100000},
        {"<!ENTITY big \"" + repeat("b", most + 1) + "\">", "&big;", "entity \"big\"", most + 1},
        {"<!ENTITY % big \"" + repeat("b", most + 1) + "\">", "a", "parameter entity \"big\"", most + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        write_file(file, job(c.entities, c.id));
        std::string printed, errors, warnings;
        EXPECT_EQ("Error during XML parsing", refusal([&] { load(file); }, &printed));
        const std::string message = "   Message: The replacement text of " + c.what + " is " +
                                    std::to_string(c.size) + " characters long; at most " + std::to_string(most) +
                                    " are accepted\n";
        EXPECT_EQ(0u, printed.find("Fatal Error at file \"job.xml\", line 1, column ")) << printed;
        EXPECT_NE(std::string::npos, printed.find(message)) << printed;
        PGM_COMMON_XML::check_xsd(file, "", errors, warnings);
        EXPECT_NE(std::string::npos, errors.find(message)) << errors;
    }
}
