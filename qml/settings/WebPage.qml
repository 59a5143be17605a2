import QtQuick
import Orvane.Views
import Orvane.Settings.Models

// One service page. Created only while its window or tab is shown; the page helper
// process that draws it runs only as long, so an idle Orvane runs no browser.
PageHost {
    background: Theme.primaryBackground
}
