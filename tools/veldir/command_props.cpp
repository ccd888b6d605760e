// props: the session's properties as the driver reports them through
// gdd_props; the password only as "set" or "not set", and that from the
// string veldir gave the driver: asking the driver for the password
// property would make it log the clear password.
#include <ostream>

#include "commands.h"
#include "connection.h"
#include "exit_codes.h"
#include "init_string_check.h"
#include "json_writer.h"
#include "output.h"
#include "table.h"

namespace {

struct TextProperty {
    CS_INT code;
    const char *label;
    const char *json_key;
};

constexpr TextProperty kTextProperties[] = {
    {DCL_PROP_BINDDN, "bind DN", "bind_dn"},
    {DCL_PROP_DITBASE, "search base", "search_base"},
    {DCL_PROP_LOCATION_FILE, "location file", "location_file"},
    {DCL_PROP_DRIVER_NAME, "driver name", "driver_name"},
};

struct Properties {
    std::string values[std::size(kTextProperties)];
    bool password_set = false;
};

void print_properties(std::ostream &out, Format format, const Connection &connection, const Properties &properties) {
    if (format == Format::json) {
        JsonWriter json(out);
        json.begin_object();
        json.key("driver").value(connection.driver.path);
        json.key("interface_version").value(connection.session->interface_version());
        for (std::size_t i = 0; i < std::size(kTextProperties); ++i)
            json.key(kTextProperties[i].json_key).value(properties.values[i]);
        json.key("password_set").value(properties.password_set);
        json.end_object();
        return;
    }
    Table table;
    table.add_row({"driver", connection.driver.path});
    table.add_row({"interface version", std::to_string(connection.session->interface_version())});
    for (std::size_t i = 0; i < std::size(kTextProperties); ++i) {
        const std::string &value = properties.values[i];
        const bool empty_bind_dn = kTextProperties[i].code == DCL_PROP_BINDDN && value.empty();
        table.add_row({kTextProperties[i].label, empty_bind_dn ? "(none: anonymous bind)" : value});
    }
    table.add_row({"password", properties.password_set ? "set (not shown)" : "not set"});
    table.print(out);
}

}  // namespace

int run_props(const Invocation &invocation, std::ostream &out, std::ostream &err) {
    Connection connection;
    Properties properties;
    Outcome failure = connect(invocation, connection, false);
    for (std::size_t i = 0; !failure && i < std::size(kTextProperties); ++i)
        failure = connection.session->get_property(kTextProperties[i].code, properties.values[i]);
    if (!failure) properties.password_set = has_password(connection.init());
    if (!failure) print_properties(out, invocation.format, connection, properties);
    connection.disconnect(err);
    if (!failure) return kExitOk;
    print_failure(out, err, invocation.format, *failure);
    return failure->exit_code;
}
